#include "tools/simulator/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/simulator/sim_commands.h"

namespace moravex::sim {
namespace {

bool MakeNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL, 0);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Closes the way a server that has said its last word does: no more writes, then take what the client still sent,
// so that unread input does not turn the close into a reset that could destroy the bytes already written.
void DrainAfterShutdown(int fd) {
  ::shutdown(fd, SHUT_WR);
  std::uint8_t sink[4096];
  while (::recv(fd, sink, sizeof sink, 0) > 0) {}
}

int PollTimeoutMs(std::optional<SteadyClock::time_point> deadline, SteadyClock::time_point now) {
  if (!deadline) return -1;
  if (*deadline <= now) return 0;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now).count();
  return static_cast<int>(std::min<long long>(wait, 60'000));
}

}  // namespace

Server::Server(ServerConfig config) : config_(std::move(config)) {}

Server::~Server() {
  clients_.clear();
  if (listen_fd_ >= 0) ::close(listen_fd_);
}

std::string Server::Listen() {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  if (listen_fd_ < 0) return std::string("socket: ") + std::strerror(errno);
  const int on = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(config_.port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listen_fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return "bind 127.0.0.1:" + std::to_string(config_.port) + ": " + std::strerror(errno);
  }
  if (::listen(listen_fd_, 16) != 0) return std::string("listen: ") + std::strerror(errno);
  if (!MakeNonBlocking(listen_fd_)) return std::string("fcntl: ") + std::strerror(errno);
  socklen_t length = sizeof address;
  if (::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return std::string("getsockname: ") + std::strerror(errno);
  }
  port_ = ntohs(address.sin_port);
  return {};
}

void Server::Run(int stop_fd) {
  std::vector<pollfd> fds;
  while (true) {
    SteadyClock::time_point now = SteadyClock::now();
    std::optional<SteadyClock::time_point> deadline;
    for (auto& client : clients_) {
      client->Promote(now);
      const auto next = client->NextDeadline(now);
      if (next && (!deadline || *next < *deadline)) deadline = next;
    }
    fds.clear();
    fds.push_back(pollfd{stop_fd, POLLIN, 0});
    fds.push_back(pollfd{listen_fd_, POLLIN, 0});
    for (auto& client : clients_) {
      // A client whose input has ended stays readable for ever; only its writes are of interest then.
      const short events =
          static_cast<short>((client->input_closed() ? 0 : POLLIN) | (client->WantsWrite(now) ? POLLOUT : 0));
      fds.push_back(pollfd{client->fd(), events, 0});
    }
    if (::poll(fds.data(), fds.size(), PollTimeoutMs(deadline, now)) < 0) {
      if (errno == EINTR) continue;
      std::perror("poll");
      return;
    }
    if (fds[0].revents != 0) return;
    now = SteadyClock::now();
    if (fds[1].revents & POLLIN) AcceptAll(now);

    // Clients accepted just now have no pollfd yet; they are polled from the next round on.
    const std::size_t polled = fds.size() - 2;
    std::vector<bool> keep(clients_.size(), true);
    for (std::size_t i = 0; i < polled; ++i) {
      Connection& client = *clients_[i];
      if (!client.input_closed() && (fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR))) {
        const ReadResult result = ReadFrom(client, now);
        if (result == ReadResult::kGone) {
          keep[i] = false;
          continue;
        }
        if (result == ReadResult::kEndOfInput) client.CloseInput();
      } else if (client.input_closed() && (fds[i + 2].revents & (POLLHUP | POLLERR))) {
        Log(client, "connection lost");
        keep[i] = false;
        continue;
      }
      client.Promote(now);
      if (!client.Flush(now)) {
        Log(client, "closed by the server");
        DrainAfterShutdown(client.fd());
        keep[i] = false;
      } else if (client.input_closed() && client.HasNothingToSend()) {
        Log(client, "closed after the client's end of input");
        keep[i] = false;
      }
    }
    std::size_t index = 0;
    std::erase_if(clients_, [&keep, &index](const std::unique_ptr<Connection>&) { return !keep[index++]; });
  }
}

void Server::AcceptAll(SteadyClock::time_point now) {
  while (true) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept(listen_fd_, reinterpret_cast<sockaddr*>(&peer), &length);
    if (fd < 0) return;  // EAGAIN when all are taken; other failures concern that one client only
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);  // chunks and small answers go out at once
    if (!MakeNonBlocking(fd)) {
      ::close(fd);
      continue;
    }
    clients_.push_back(std::make_unique<Connection>(fd, next_client_id_++, config_.faults, now));
    Log(*clients_.back(), "connected from port " + std::to_string(ntohs(peer.sin_port)));
  }
}

Server::ReadResult Server::ReadFrom(Connection& client, SteadyClock::time_point now) {
  std::uint8_t buffer[16384];
  while (true) {
    const ssize_t received = ::recv(client.fd(), buffer, sizeof buffer, 0);
    if (received == 0) {
      Log(client, "end of input from the client");
      return ReadResult::kEndOfInput;
    }
    if (received < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) return ReadResult::kOpen;
      if (errno == EINTR) continue;
      Log(client, std::string("receive failed: ") + std::strerror(errno));
      return ReadResult::kGone;
    }
    std::vector<Frame> frames;
    const auto status =
        client.reader().Feed(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(received)), frames);
    for (Frame& frame : frames) Answer(client, std::move(frame), now);
    if (status == FrameReader::Status::kBadLength) {
      Log(client, "bogus payload length from the client, closing");
      return ReadResult::kGone;
    }
  }
}

void Server::Answer(Connection& client, Frame frame, SteadyClock::time_point now) {
  const std::uint8_t type = frame.type;
  if (type == kDebugText) {
    const std::string_view text(reinterpret_cast<const char*>(frame.payload.data()), frame.payload.size());
    if (const auto command = SimCommandOf(text)) {
      const std::string reply = RunSimCommand(*command, client.faults(), config_.faults);
      client.RestartPush(now);
      Log(client, "command '" + std::string(*command) + "': " + reply);
      Bytes payload;
      AppendText(payload, reply);
      client.Send(EncodeFrame(kDebugText, payload));
      return;
    }
  }
  const std::optional<Bytes> answer = BuildAnswer(config_.market, client.faults(), type, frame.payload);
  if (!answer) {
    Log(client,
        "request type " + std::to_string(type) + " (" + std::to_string(frame.payload.size()) + " bytes): ignored");
    return;
  }
  std::optional<DeliveryPlan> plan = PlanDelivery(client.faults(), type, *answer);
  if (!plan) {
    Log(client, "request type " + std::to_string(type) + " (" + std::to_string(frame.payload.size()) +
                    " bytes): not answered (--never)");
    return;
  }
  Log(client, "request type " + std::to_string(type) + " (" + std::to_string(frame.payload.size()) +
                  " bytes): answer of " + std::to_string(answer->size()) + " bytes, " +
                  std::to_string(plan->bytes.size()) + " bytes on the wire");
  client.Schedule(std::move(*plan), now);
}

void Server::Log(const Connection& client, const std::string& text) const {
  if (config_.verbose) std::fprintf(stderr, "moravex-sim: client %d: %s\n", client.id(), text.c_str());
}

}  // namespace moravex::sim
