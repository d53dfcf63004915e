// The TCP client component on a non-blocking socket driven by an EventLoop.
#pragma once
#include <cstddef>

#include "native/platform_socket.h"
#include "posix/event_loop.h"
#include "posix/posix_components.h"

namespace moravex {

class PosixSocket final : public PlatformSocket {
 public:
  PosixSocket(EventLoop& loop, NameLookup lookup, SocketSizes sizes = {});
};

}  // namespace moravex
