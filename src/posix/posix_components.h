// The socket and timer components on non-blocking sockets and an EventLoop.
#pragma once
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "native/lookup_threads.h"
#include "native/platform_socket.h"
#include "platform/platform.h"
#include "posix/event_loop.h"

namespace moravex {

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

// Looks a host name up for a TCP connection to the port. May block as long as
// it likes; the socket drops a late answer. Tests substitute a resolver that
// hangs or fails. Lookups run on the process's lookup threads (see
// native/lookup_threads.h), each with its own copy of the resolver.
using Resolver = std::function<Resolution(const std::string& host, int port)>;
inline constexpr size_t kResolverThreads = kLookupThreadLimit;

// The default resolver, on getaddrinfo.
Resolution ResolveWithGetaddrinfo(const std::string& host, int port);

// The socket reports itself as "Winsock1" in the failures it throws. Without
// a resolver it uses ResolveWithGetaddrinfo. Numeric addresses are never
// handed to the resolver. Tests lower the send queue limit.
std::unique_ptr<SocketComponent> MakePosixSocket(EventLoop& loop, Resolver resolver = {}, SocketSizes sizes = {});
// `name` is the source of the failures the timer throws.
std::unique_ptr<TimerComponent> MakePosixTimer(EventLoop& loop, std::string name);

// Everything one control needs: socket (reading up to `socket_read_size`
// bytes at a time), three timers, native table and Windows-1252 conversions.
Components MakePosixComponents(EventLoop& loop, size_t socket_read_size);

}  // namespace moravex
