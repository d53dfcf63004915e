// The socket and timer components on non-blocking sockets and an EventLoop.
#pragma once
#include <sys/socket.h>

#include <cstddef>
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

// Looks a host name up for a TCP connection to the port. May block as long as
// it likes; the socket drops a late answer. Tests substitute a resolver that
// hangs or fails.
//
// Lookups run on a small pool of threads shared by every socket in the
// process: at most kResolverThreads run at once, however many sockets ask and
// however often, and a thread ends when no lookup waits. A socket has at most
// one lookup waiting for a thread; its next Connect replaces that one, and
// Close or destruction withdraws it, so an abandoned lookup that has not
// started never runs. One that has started cannot be cancelled (getaddrinfo
// cannot be): it keeps its thread until it returns and its answer is dropped.
// Neither Close nor destruction ever waits for a lookup. While names hang on
// every thread, further lookups wait their turn.
using Resolver = std::function<Resolution(const std::string& host, int port)>;
inline constexpr size_t kResolverThreads = 4;

// The default resolver, on getaddrinfo.
Resolution ResolveWithGetaddrinfo(const std::string& host, int port);

// Bytes a socket holds for a peer that is not reading before SendData refuses
// more. Requests are at most about 100 KB, so a client that is only slowed by
// the network never comes near it.
inline constexpr size_t kSendQueueLimit = 4 << 20;

// The socket reports itself as "Winsock1" in the failures it throws. Without
// a resolver it uses ResolveWithGetaddrinfo. Numeric addresses are never
// handed to the resolver. Tests lower the send queue limit.
std::unique_ptr<SocketComponent> MakePosixSocket(EventLoop& loop, Resolver resolver = {},
                                                 size_t send_queue_limit = kSendQueueLimit);
// `name` is the source of the failures the timer throws.
std::unique_ptr<TimerComponent> MakePosixTimer(EventLoop& loop, std::string name);

// Everything one control needs: socket, three timers, native table and
// Windows-1252 conversions.
Components MakePosixComponents(EventLoop& loop);

}  // namespace moravex
