// The simulator's TCP server: one listening socket on 127.0.0.1 and its clients, served by a single poll() loop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/simulator/answers.h"
#include "tools/simulator/connection.h"
#include "tools/simulator/faults.h"

namespace moravex::sim {

struct ServerConfig {
  std::uint16_t port = 0;
  MarketSettings market;
  FaultConfig faults;
  bool verbose = false;
};

class Server {
 public:
  explicit Server(ServerConfig config);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds and listens; returns an error text, or empty on success.
  std::string Listen();
  std::uint16_t port() const { return port_; }

  // Serves until `stop_fd` becomes readable (or fails).
  void Run(int stop_fd);

 private:
  void AcceptAll(SteadyClock::time_point now);
  enum class ReadResult { kOpen, kEndOfInput, kGone };
  ReadResult ReadFrom(Connection& client, SteadyClock::time_point now);
  void Answer(Connection& client, Frame frame, SteadyClock::time_point now);
  void Log(const Connection& client, const std::string& text) const;

  ServerConfig config_;
  int listen_fd_ = -1;
  std::uint16_t port_ = 0;
  int next_client_id_ = 1;
  std::vector<std::unique_ptr<Connection>> clients_;
};

}  // namespace moravex::sim
