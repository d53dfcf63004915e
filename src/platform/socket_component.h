// The TCP client component the control talks through. Mirrors the operations
// and events the control uses; nothing more.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "platform/failure.h"
#include "platform/text.h"

namespace moravex {

// Failure numbers the socket throws, in the Automation range a Winsock host knows.
inline constexpr int32_t kSocketWrongState = AutomationError(40006);
inline constexpr int32_t kSocketInvalidArgument = AutomationError(40014);
// More would wait than the send queue's bound: Winsock's "no buffer space" (10055).
inline constexpr int32_t kSocketNoBufferSpace = AutomationError(10055);
inline constexpr const char* kSocketSource = "Winsock1";
// Error numbers of the error event, as a Winsock host knows them.
inline constexpr int32_t kSocketHostNotFound = 11001;
inline constexpr int32_t kSocketTryAgain = 11002;

enum SocketState : int32_t {
  kSocketClosed = 0,
  kSocketOpen = 1,
  kSocketListening = 2,
  kSocketConnectionPending = 3,
  kSocketResolvingHost = 4,
  kSocketHostResolved = 5,
  kSocketConnecting = 6,
  kSocketConnected = 7,
  kSocketClosing = 8,
  kSocketError = 9,
};

// Delivered on the owning thread, from the event loop, never from inside a
// method of the component. A handler may call any method of the component,
// or destroy it, from inside any of its notifications, the running one
// included. After Close, a new Connect or destruction, nothing more is
// delivered for the connection that ended, not even the rest of a
// notification already under way. Data arrival may come several times in a
// row, each reporting every unread byte; all data of a connection comes
// before its close or error event, and the close event comes at most once.
// A close or error found while a data arrival is under way (its handler
// pumping messages) and received bytes are still unread is reported only
// after that data arrival has returned, so the host reads every byte that
// came before the ending first; until then the state stays connected.
class SocketEvents {
 public:
  virtual ~SocketEvents() = default;
  virtual void OnSocketConnect() = 0;
  virtual void OnSocketClose() = 0;
  virtual void OnSocketDataArrival(int32_t bytes_total) = 0;
  virtual void OnSocketError(int32_t number, const Text& description) = 0;
};

class SocketComponent {
 public:
  virtual ~SocketComponent() = default;

  virtual void SetEvents(SocketEvents* events) = 0;
  virtual int32_t State() const = 0;
  // Returns at once; the outcome arrives as the connect or the error event.
  virtual void Connect(const Text& remote_host, int32_t remote_port) = 0;
  // Harmless on a closed socket; fires no event; drops unread bytes.
  virtual void Close() = 0;
  // Writes all bytes in call order or throws Failure. Never blocks: what the
  // kernel cannot take now is queued and flushed in order. The bound is on
  // what waits: with nothing queued, the kernel takes what it can and the rest
  // waits, however much; while bytes wait, a send that would take them past
  // the bound fails whole, with nothing written or queued.
  virtual void SendData(std::span<const uint8_t> bytes) = 0;
  virtual int32_t BytesReceived() const = 0;
  // Fills `into` with the next into.size() received bytes; throws Failure
  // when fewer are waiting.
  virtual void GetData(std::span<uint8_t> into) = 0;
  // Asks for a data arrival from the event loop, as if bytes had just come:
  // a handler that pumps messages while received bytes wait unread then gets
  // them, though nothing new comes from the peer. Delivered only if bytes of
  // the same connection are still unread by then; asking again while one is
  // on its way changes nothing.
  virtual void PostDataArrival() = 0;
};

}  // namespace moravex
