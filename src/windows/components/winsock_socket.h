// The TCP client component `Winsock1` on Winsock, driven by WSAAsyncSelect
// notifications to the shared message-only window.
#pragma once
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "windows/components/message_window.h"
#include "native/platform_socket.h"

namespace moravex::windows {

// The default lookup, on GetAddrInfoW.
LookupOutcome LookUpWithGetAddrInfo(const Text& host, int port);

// Lookup threads alive in the process now (see native/lookup_threads.h).
size_t LookupThreadsAlive();

class WinsockSocket final : public PlatformSocket {
 public:
  explicit WinsockSocket(std::shared_ptr<MessageWindow> window, NameLookup lookup = {}, SocketSizes sizes = {});
};

}  // namespace moravex::windows
