// What every platform's socket component shares: the connection's state and
// generation, the walk over a host's addresses, the send queue and its bound,
// the receive buffer, and the rules of SocketEvents. A platform supplies only
// its system calls (the hooks below), its readiness notifications (which call
// the entry points) and its name lookup.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/failure.h"
#include "platform/socket_component.h"

namespace moravex {

// Bytes that may wait for a peer that is not reading before SendData refuses
// more. Requests are at most about 100 KB, so a client that is only slowed by
// the network never comes near it.
inline constexpr size_t kSendQueueLimit = 4u << 20;
// What one read from the kernel takes at most, unless the socket's owner
// asks for more (a control asks for its largest message).
inline constexpr size_t kDefaultReadSize = 64u << 10;

struct SocketSizes {
  size_t read = kDefaultReadSize;
  size_t send_queue_limit = kSendQueueLimit;
};
// Reading stops after this much per readiness, so one busy peer cannot hold
// the loop; the level-triggered readiness brings the rest.
inline constexpr size_t kReadPerReadiness = 4u << 20;

// An address in the platform's own form (a sockaddr); the core only keeps it.
struct PeerAddress {
  std::array<uint8_t, 128> bytes{};
  uint32_t length = 0;
};

// What the error event carries.
struct SocketError {
  int32_t number = 0;
  Text description;
};

// The outcome of a name lookup: addresses to try in order, or the error.
struct LookupOutcome {
  std::vector<PeerAddress> addresses;
  SocketError error{kSocketHostNotFound, u"Host not found"};
};

// Looks a host name up for a TCP connection to the port, on a lookup thread
// (see native/lookup_threads.h): may block as long as it likes, and tests
// hang or fail it; the socket drops a late answer. Names only: literal
// addresses connect at once, on the socket's thread.
using NameLookup = std::function<LookupOutcome(const Text& host, int port)>;

// Received bytes not yet read: [head, tail) of one block that the kernel
// writes into directly. The host normally reads everything in its data
// arrival, so the block is empty again by the next read and nothing moves.
class ReceiveBuffer {
 public:
  size_t Size() const { return tail_ - head_; }
  // The free end, at least `want` bytes long.
  std::span<uint8_t> Room(size_t want);
  void Commit(size_t received) { tail_ += received; }
  // The caller has checked that enough bytes are waiting.
  void Take(std::span<uint8_t> into);
  void Release();

 private:
  std::unique_ptr<uint8_t[]> block_;
  size_t capacity_ = 0;
  size_t head_ = 0;
  size_t tail_ = 0;
};

// Bytes accepted by SendData that the kernel has not taken yet.
class SendQueue {
 public:
  size_t Size() const { return bytes_.size() - head_; }
  std::span<const uint8_t> Waiting() const { return std::span(bytes_).subspan(head_); }
  void Append(std::span<const uint8_t> bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
  // Drops consumed bytes from the front once they make up half the queue, so
  // appending and consuming stay linear overall.
  void Consume(size_t sent);
  void Clear();

 private:
  std::vector<uint8_t> bytes_;
  size_t head_ = 0;
};

// The platform's socket derives from this. Its notifications hold the core
// through a weak reference, lock it for the length of their work, and after
// every call into SocketEvents compare the generation they started with: any
// Close, Connect, failure or destruction advances it, and the notification
// then returns without touching anything else.
//
// A close or error that the socket sees while a data arrival is under way
// (a host pumping messages inside its handler) and received bytes are still
// unread waits until that outermost data arrival has returned: the host reads
// every byte that came before the ending, then hears of the ending. Until it
// is reported the connection counts as established.
class SocketCore : public std::enable_shared_from_this<SocketCore> {
 public:
  explicit SocketCore(SocketSizes sizes) : read_size_(sizes.read), send_queue_limit_(sizes.send_queue_limit) {}
  virtual ~SocketCore() = default;
  SocketCore(const SocketCore&) = delete;
  SocketCore& operator=(const SocketCore&) = delete;

  SocketEvents* events = nullptr;

  int32_t State() const { return state_; }
  void Connect(const Text& remote_host, int32_t remote_port);
  void Close();
  void SendData(std::span<const uint8_t> bytes);
  size_t Buffered() const { return in_.Size(); }
  void GetData(std::span<uint8_t> into);
  void PostDataArrival();
  size_t Queued() const { return out_.Size(); }

  // Entry points of the platform's notifications.
  uint64_t Generation() const { return generation_; }
  void OnConnectOutcome(int error);
  // Reads what waits; `peer_closed` reads on to the end of the stream and then
  // ends the connection, as an error when `close_error` is not 0.
  void OnReadable(bool peer_closed = false, int close_error = 0);
  void OnWritable();
  void OnLookedUp(uint64_t generation, LookupOutcome outcome);

 protected:
  enum class ReadResult { kData, kWouldBlock, kEnd, kFailed };

  // The platform's system calls; errors are the platform's own codes.
  // A literal IPv4 or IPv6 address (brackets already taken off), or false.
  virtual bool LiteralAddress(const Text& host, int port, PeerAddress& address) = 0;
  // Starts looking the name up; the outcome comes to OnLookedUp with the
  // generation, posted to the loop. Returns the error to report when it cannot.
  virtual std::optional<SocketError> StartLookup(const Text& host, int port, uint64_t generation) = 0;
  virtual void CancelLookup() = 0;
  // Opens a non-blocking socket and starts connecting; the outcome comes to
  // OnConnectOutcome. 0 or the error.
  virtual int OpenAndConnect(const PeerAddress& address) = 0;
  // Closes the descriptor; nothing more arrives for it.
  virtual void CloseDescriptor() = 0;
  // Sends what the kernel takes now; 0 or the error of a hard failure.
  virtual int Write(std::span<const uint8_t> bytes, size_t& sent) = 0;
  // One read into `room`.
  virtual ReadResult Read(std::span<uint8_t> room, size_t& received, int& error) = 0;
  // Which readiness the platform should wait for, where it has to be told.
  virtual void Watch(bool readable, bool writable) = 0;
  // Runs the callback from the loop soon, never from inside this call.
  virtual void Post(std::function<void()> callback) = 0;
  virtual SocketError Describe(int error) const = 0;

 private:
  struct Ending {
    std::optional<SocketError> error;  // none: the peer closed
  };

  void ConnectToNextAddress();
  // Ends the connection without an event; returns the generation an event
  // about it must still find.
  uint64_t FailQuietly();
  void Fail(const SocketError& error);
  void FireError(const SocketError& error);
  void PostFailure(SocketError error);
  // Reports the ending now, or once the data arrival under way has returned.
  void End(Ending ending);
  void ReportEnding();
  // False when the connection the caller read for has ended meanwhile.
  bool DeliverData(uint64_t generation);
  void UpdateWatch();

  const size_t read_size_;
  const size_t send_queue_limit_;
  int32_t state_ = kSocketClosed;
  uint64_t generation_ = 0;
  std::vector<PeerAddress> addresses_;
  size_t next_address_ = 0;
  ReceiveBuffer in_;
  SendQueue out_;
  std::optional<Ending> ending_;
  // Data arrivals under way, nested ones included.
  int arrivals_ = 0;
  // The connection a posted data arrival is on its way for, if any.
  std::optional<uint64_t> posted_arrival_;
};

// The component over a core that the notifications in progress also hold, so
// a handler may destroy the component from inside any of its events.
class PlatformSocket : public SocketComponent {
 public:
  explicit PlatformSocket(std::shared_ptr<SocketCore> core) : core_(std::move(core)) {}
  ~PlatformSocket() override;
  PlatformSocket(const PlatformSocket&) = delete;
  PlatformSocket& operator=(const PlatformSocket&) = delete;

  void SetEvents(SocketEvents* events) override { core_->events = events; }
  int32_t State() const override { return core_->State(); }
  void Connect(const Text& remote_host, int32_t remote_port) override { core_->Connect(remote_host, remote_port); }
  void Close() override { core_->Close(); }
  void SendData(std::span<const uint8_t> bytes) override { core_->SendData(bytes); }
  int32_t BytesReceived() const override;
  void GetData(std::span<uint8_t> into) override { core_->GetData(into); }
  void PostDataArrival() override { core_->PostDataArrival(); }

  // Bytes accepted by SendData that the kernel has not taken yet.
  size_t QueuedBytes() const { return core_->Queued(); }

 private:
  std::shared_ptr<SocketCore> core_;
};

}  // namespace moravex
