// The TCP client component on a non-blocking socket driven by an EventLoop.
#pragma once
#include <cstddef>
#include <memory>

#include "platform/failure.h"
#include "platform/socket_component.h"
#include "posix/event_loop.h"
#include "posix/posix_components.h"

namespace moravex {

// Failure numbers the socket throws, in the Automation range a Winsock host knows.
inline constexpr int32_t kSocketWrongState = AutomationError(40006);
inline constexpr int32_t kSocketInvalidArgument = AutomationError(40014);
// The send queue is full: Winsock's "no buffer space" (10055).
inline constexpr int32_t kSocketNoBufferSpace = AutomationError(10055);
inline constexpr const char* kSocketSource = "Winsock1";

// A connected socket stays connected when a send is refused for a full queue;
// nothing of that send was written or queued.
//
// Received bytes wait in one block that the kernel writes into directly. A
// readiness reads everything waiting, up to a cap that keeps the loop fair,
// 64 KiB at a time with a data arrival after each read. Events for a
// connection stop at Close, Connect or destruction, also when those happen
// inside one of the socket's events.
class PosixSocket final : public SocketComponent {
 public:
  PosixSocket(EventLoop& loop, Resolver resolver, size_t send_queue_limit = kSendQueueLimit);
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
