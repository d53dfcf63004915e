#include "tools/simulator/embedded_server.h"

#include <unistd.h>

#include <csignal>

#include "tools/simulator/options.h"

namespace moravex::sim {

std::string EmbeddedServer::Start(const std::vector<std::string_view>& args) {
  Stop();
  const CommandLine command_line = ParseCommandLine(args);
  if (!command_line.error.empty()) return command_line.error;
  const SimOptions& options = command_line.options;
  ServerConfig config;
  config.port = options.port;
  config.market = MarketSettings{options.user, options.password, options.seed, SessionClock(options.clock)};
  config.faults = options.faults;
  server_ = std::make_unique<Server>(std::move(config));
  if (std::string error = server_->Listen(); !error.empty()) {
    server_.reset();
    return error;
  }
  port_ = server_->port();
  std::signal(SIGPIPE, SIG_IGN);
  if (::pipe(stop_pipe_) != 0) return "pipe failed";
  thread_ = std::thread([this] { server_->Run(stop_pipe_[0]); });
  return {};
}

void EmbeddedServer::Stop() {
  if (!thread_.joinable()) return;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(stop_pipe_[1], &byte, 1);
  thread_.join();
  server_.reset();
  ::close(stop_pipe_[0]);
  ::close(stop_pipe_[1]);
}

}  // namespace moravex::sim
