// The socket and timer components on non-blocking sockets and an EventLoop.
#pragma once
#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "posix/event_loop.h"

namespace moravex {

// Error numbers of the socket's error event, as a Winsock host knows them.
inline constexpr int32_t kSocketHostNotFound = 11001;
inline constexpr int32_t kSocketTryAgain = 11002;

struct SocketAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;
};

// The outcome of a name lookup: the addresses to try in order, or, when there
// is none, the error the socket reports.
struct Resolution {
  std::vector<SocketAddress> addresses;
  int32_t error_number = kSocketHostNotFound;
  std::string error_description = "Host not found";
};

// Looks a host name up for a TCP connection to the port. Runs on a thread of
// its own and may block as long as it likes; the socket drops a late answer.
// Tests substitute a resolver that hangs or fails.
using Resolver = std::function<Resolution(const std::string& host, int port)>;

// The default resolver, on getaddrinfo.
Resolution ResolveWithGetaddrinfo(const std::string& host, int port);

// The socket reports itself as "Winsock1" in the failures it throws. Without
// a resolver it uses ResolveWithGetaddrinfo. Numeric addresses are never
// handed to the resolver.
std::unique_ptr<SocketComponent> MakePosixSocket(EventLoop& loop, Resolver resolver = {});
// `name` is the source of the failures the timer throws.
std::unique_ptr<TimerComponent> MakePosixTimer(EventLoop& loop, std::string name);

// Everything one control needs: socket, three timers, native table and
// Windows-1252 conversions.
Components MakePosixComponents(EventLoop& loop);

}  // namespace moravex
