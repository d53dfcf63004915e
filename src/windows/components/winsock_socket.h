// The TCP client component `Winsock1` on Winsock, driven by WSAAsyncSelect
// notifications to the shared message-only window.
#pragma once
#include <cstddef>
#include <memory>

#include "components/message_window.h"
#include "platform/socket_component.h"

namespace moravex::windows {

// Failure numbers and source, in the Automation range a Winsock host knows.
inline constexpr int32_t kSocketWrongState = static_cast<int32_t>(0x800A0000u | 40006u);
inline constexpr int32_t kSocketInvalidArgument = static_cast<int32_t>(0x800A0000u | 40014u);
inline constexpr const char* kSocketSource = "Winsock1";
// What SendData may leave queued for the kernel; a send that would pass it
// fails whole with WSAENOBUFS in HRESULT form.
inline constexpr size_t kSendQueueLimit = 4u << 20;
inline constexpr int32_t kSocketSendQueueFull = static_cast<int32_t>(0x800A0000u | 10055u);

class WinsockSocket final : public SocketComponent {
 public:
  explicit WinsockSocket(std::shared_ptr<MessageWindow> window);
  // Safe from inside one of the socket's own notifications: the notification
  // in progress holds the internals and stops at its next check.
  ~WinsockSocket() override;
  WinsockSocket(const WinsockSocket&) = delete;
  WinsockSocket& operator=(const WinsockSocket&) = delete;

  void SetEvents(SocketEvents* events) override;
  int32_t State() const override;
  // Literal IPv4 and IPv6 addresses ("::1", "[::1]") connect at once; names
  // are looked up on the socket's resolver thread (see the .cpp).
  void Connect(const Text& remote_host, int32_t remote_port) override;
  void Close() override;
  void SendData(std::span<const uint8_t> bytes) override;
  int32_t BytesReceived() const override;
  void GetData(std::span<uint8_t> into) override;

  // Bytes accepted by SendData that the kernel has not taken yet.
  size_t QueuedBytes() const;

 private:
  class Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace moravex::windows
