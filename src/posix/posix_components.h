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

// The default lookup, on getaddrinfo. Each lookup thread runs its own copy
// of a socket's lookup.
LookupOutcome LookUpWithGetAddrInfo(const Text& host, int port);

// The socket reports itself as "Winsock1" in the failures it throws. Without
// a lookup it uses LookUpWithGetAddrInfo. Tests lower the send queue limit.
std::unique_ptr<SocketComponent> MakePosixSocket(EventLoop& loop, NameLookup lookup = {}, SocketSizes sizes = {});
// `name` is the source of the failures the timer throws.
std::unique_ptr<TimerComponent> MakePosixTimer(EventLoop& loop, std::string name);

// Everything one control needs: socket (reading up to `socket_read_size`
// bytes at a time), three timers, native table and Windows-1252 conversions.
Components MakePosixComponents(EventLoop& loop, size_t socket_read_size);

}  // namespace moravex
