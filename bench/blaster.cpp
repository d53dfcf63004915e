// The server side of the loopback benchmarks. Listens on 127.0.0.1, prints
// the port on the first line of stdout, then serves one connection after the
// other until killed:
//
//   moravex_blaster price ROWS FRAMES   after the first request that is not a
//   moravex_blaster debug BYTES FRAMES  login, writes FRAMES answers as fast as
//                                       the socket takes them (requests are read
//                                       and dropped), then waits for the close
//   moravex_blaster echo                answers every request at once
//
// Logins are always answered "OK".
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/wire.h"

namespace moravex::bench {
namespace {

[[noreturn]] void Die(const char* what) {
  std::perror(what);
  std::exit(1);
}

bool SendAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Frames the peer sends, cut from whatever recv returns.
class Requests {
 public:
  // False at the end of the stream or on an error.
  bool Read(int fd) {
    uint8_t chunk[65536];
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    if (n <= 0) return false;
    bytes_.insert(bytes_.end(), chunk, chunk + n);
    return true;
  }
  // Takes the next whole frame, if there is one.
  bool Next(uint8_t& type, std::vector<uint8_t>& payload) {
    if (bytes_.size() < kHeader) return false;
    const size_t length = PayloadLength(bytes_.data());
    if (bytes_.size() < kHeader + length) return false;
    type = bytes_[0];
    payload.assign(bytes_.begin() + kHeader, bytes_.begin() + static_cast<std::ptrdiff_t>(kHeader + length));
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(kHeader + length));
    return true;
  }

 private:
  std::vector<uint8_t> bytes_;
};

void Echo(int fd) {
  Requests requests;
  std::vector<uint8_t> answers[256];
  for (int t = 0; t < 256; ++t) answers[t] = EchoAnswer(static_cast<uint8_t>(t), {});
  uint8_t type = 0;
  std::vector<uint8_t> payload;
  while (requests.Read(fd)) {
    while (requests.Next(type, payload)) {
      const std::vector<uint8_t> answer = type == 0 ? EchoAnswer(0, payload) : answers[type];
      if (!SendAll(fd, answer.data(), answer.size())) return;
    }
  }
}

// Writes `frames` copies of `frame` as fast as the socket takes them, from a
// block of whole frames, reading and dropping what the peer sends meanwhile.
void Stream(int fd, const std::vector<uint8_t>& frame, long frames) {
  Requests requests;
  uint8_t type = 0;
  std::vector<uint8_t> payload;
  bool started = false;
  while (!started) {
    if (!requests.Read(fd)) return;
    while (requests.Next(type, payload)) {
      if (type == 1) {
        const auto ok = EchoAnswer(1, {});
        if (!SendAll(fd, ok.data(), ok.size())) return;
      } else {
        started = true;
      }
    }
  }
  std::vector<uint8_t> block;
  const size_t per_block = std::max<size_t>(1, (1u << 20) / frame.size());
  for (size_t i = 0; i < per_block; ++i) block.insert(block.end(), frame.begin(), frame.end());
  const auto total = static_cast<unsigned long long>(frames) * frame.size();
  unsigned long long written = 0;
  while (written < total) {
    pollfd p{fd, POLLIN | POLLOUT, 0};
    if (poll(&p, 1, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if ((p.revents & POLLIN) != 0) {
      uint8_t sink[65536];
      const ssize_t n = recv(fd, sink, sizeof sink, MSG_DONTWAIT);
      if (n == 0) return;
    }
    if ((p.revents & (POLLERR | POLLHUP)) != 0) return;
    if ((p.revents & POLLOUT) != 0) {
      const size_t offset = static_cast<size_t>(written % block.size());
      const size_t size = static_cast<size_t>(std::min<unsigned long long>(block.size() - offset, total - written));
      const ssize_t n = send(fd, block.data() + offset, size, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (n <= 0) return;
      written += static_cast<unsigned long long>(n);
    }
  }
  uint8_t sink[65536];
  while (recv(fd, sink, sizeof sink, 0) > 0) {}
}

int Main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  std::vector<uint8_t> frame;
  long frames = 0;
  if ((mode == "price" || mode == "debug") && argc == 4) {
    const long size = std::atol(argv[2]);
    frames = std::atol(argv[3]);
    frame = mode == "price" ? Frame(5, PriceChannelPayload(static_cast<int>(size)))
                            : Frame(0, DebugPayload(static_cast<size_t>(size)));
  } else if (mode != "echo" || argc != 2) {
    std::fprintf(stderr, "usage: moravex_blaster price ROWS FRAMES | debug BYTES FRAMES | echo\n");
    return 2;
  }
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) Die("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) Die("bind");
  if (listen(listener, 8) != 0) Die("listen");
  if (getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) Die("getsockname");
  std::printf("%u\n", ntohs(address.sin_port));
  std::fflush(stdout);
  for (;;) {
    const int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) {
      if (errno == EINTR) continue;
      Die("accept");
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (mode == "echo") {
      Echo(fd);
    } else {
      Stream(fd, frame, frames);
    }
    close(fd);
  }
}

}  // namespace
}  // namespace moravex::bench

int main(int argc, char** argv) { return moravex::bench::Main(argc, argv); }
