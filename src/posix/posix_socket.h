// The TCP client component on a non-blocking socket driven by an EventLoop.
#pragma once
#include <memory>

#include "platform/socket_component.h"
#include "posix/event_loop.h"
#include "posix/posix_components.h"

namespace moravex {

// Failure numbers the socket throws, in the Automation range a Winsock host knows.
inline constexpr int32_t kSocketWrongState = static_cast<int32_t>(0x800A0000u | 40006u);
inline constexpr int32_t kSocketInvalidArgument = static_cast<int32_t>(0x800A0000u | 40014u);
inline constexpr const char* kSocketSource = "Winsock1";

class PosixSocket final : public SocketComponent {
 public:
  PosixSocket(EventLoop& loop, Resolver resolver);
  // Safe from inside one of the socket's own events: the work in progress
  // holds the internals and stops at its next check.
  ~PosixSocket() override;
  PosixSocket(const PosixSocket&) = delete;
  PosixSocket& operator=(const PosixSocket&) = delete;

  void SetEvents(SocketEvents* events) override;
  int32_t State() const override;
  void Connect(const Text& remote_host, int32_t remote_port) override;
  void Close() override;
  void SendData(std::span<const uint8_t> bytes) override;
  int32_t BytesReceived() const override;
  void GetData(std::span<uint8_t> into) override;

 private:
  class Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace moravex
