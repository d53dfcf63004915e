// The simulator on a thread of the calling process, for a front end that
// brings its own server (moravex-feed without --server) and for tests that
// stop and restart the server under a running client.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tools/simulator/server.h"

namespace moravex::sim {

class EmbeddedServer {
 public:
  EmbeddedServer() = default;
  ~EmbeddedServer() { Stop(); }
  EmbeddedServer(const EmbeddedServer&) = delete;
  EmbeddedServer& operator=(const EmbeddedServer&) = delete;

  // Takes moravex-sim's options; returns an error text, or empty once listening.
  std::string Start(const std::vector<std::string_view>& args);
  // Closes the listening socket and every client; Start again (with --port) brings it back.
  void Stop();
  std::uint16_t port() const { return port_; }

 private:
  std::unique_ptr<Server> server_;
  std::thread thread_;
  int stop_pipe_[2] = {-1, -1};
  std::uint16_t port_ = 0;
};

}  // namespace moravex::sim
