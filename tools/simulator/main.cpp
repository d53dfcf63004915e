// moravex-sim: a chart server on 127.0.0.1 for demos, tests and host development without a live server.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string_view>
#include <vector>

#include "tools/simulator/options.h"
#include "tools/simulator/server.h"

namespace {

int g_stop_pipe_write = -1;

// Wakes the poll loop through a pipe, so a signal that lands just before poll() is not lost.
void OnStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(g_stop_pipe_write, &byte, 1);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace moravex::sim;
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const CommandLine command_line = ParseCommandLine(args);
  if (command_line.show_help) {
    std::fputs(HelpText().c_str(), stdout);
    return 0;
  }
  if (!command_line.error.empty()) {
    std::fprintf(stderr, "moravex-sim: %s (try --help)\n", command_line.error.c_str());
    return 2;
  }
  const SimOptions& options = command_line.options;

  int stop_pipe[2];
  if (::pipe(stop_pipe) != 0) {
    std::perror("moravex-sim: pipe");
    return 1;
  }
  ::fcntl(stop_pipe[1], F_SETFL, O_NONBLOCK);
  g_stop_pipe_write = stop_pipe[1];
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  ServerConfig config;
  config.port = options.port;
  config.market = MarketSettings{options.user, options.password, options.seed, SessionClock(options.clock)};
  config.faults = options.faults;
  config.verbose = options.verbose;
  Server server(std::move(config));
  if (const std::string error = server.Listen(); !error.empty()) {
    std::fprintf(stderr, "moravex-sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("listening on 127.0.0.1:%u\n", static_cast<unsigned>(server.port()));
  std::fflush(stdout);
  server.Run(stop_pipe[0]);
  if (options.verbose) std::fputs("moravex-sim: stopped\n", stderr);
  ::close(stop_pipe[0]);
  ::close(stop_pipe[1]);
  return 0;
}
