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

// Looks a name up for a TCP connection to the port, on a lookup thread; may
// block as long as it likes (tests hang it). Names only: literal addresses
// connect at once, on the component's thread.
using NameLookup = std::function<LookupOutcome(const std::wstring& host, int port)>;
LookupOutcome LookUpWithGetAddrInfo(const std::wstring& host, int port);

// Lookup threads alive in the process now (see native/lookup_threads.h).
size_t LookupThreadsAlive();

class WinsockSocket final : public PlatformSocket {
 public:
  explicit WinsockSocket(std::shared_ptr<MessageWindow> window, NameLookup lookup = {}, SocketSizes sizes = {});
};

}  // namespace moravex::windows
