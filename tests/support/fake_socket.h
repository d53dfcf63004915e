// A scripted socket: records what the control does to it and delivers
// arrivals, connects, closes and errors when the test says so. The test keeps
// it through a shared handle; the control owns only a forwarding proxy, so
// the fake outlives a control the host destroys from inside an event.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/socket_component.h"
#include "tests/support/call_journal.h"
#include "tests/support/wire_bytes.h"

namespace moravex {

class FakeSocket final : public SocketComponent, public std::enable_shared_from_this<FakeSocket> {
 public:
  // A Winsock error number for the failures the fake is told to raise.
  static constexpr int32_t kFailureNumber = kSocketWrongState;
  static constexpr const char* kFailureSource = kSocketSource;

  struct ConnectCall {
    Text host;
    int32_t port;
  };

  // The component handed to the control; detaches the fake when destroyed.
  static std::unique_ptr<SocketComponent> Share(const std::shared_ptr<FakeSocket>& fake);

  void SetJournal(std::shared_ptr<CallJournal> journal) { journal_ = std::move(journal); }

  // SocketComponent.
  void SetEvents(SocketEvents* events) override { events_ = events; }
  int32_t State() const override { return state_; }
  void Connect(const Text& remote_host, int32_t remote_port) override;
  void Close() override;
  void SendData(std::span<const uint8_t> bytes) override;
  int32_t BytesReceived() const override { return static_cast<int32_t>(inbound_.size()); }
  void GetData(std::span<uint8_t> into) override;
  // Posted like an arrival; a pump delivers it only if bytes wait then.
  void PostDataArrival() override;

  // Script.
  void SetState(int32_t state) { state_ = state; }
  void FailConnect(const std::string& description);
  void FailSend(const std::string& description);
  void SucceedSend() { send_failure_.reset(); }
  void FailReads(const std::string& description);
  // Appends the bytes and raises one data-arrival notification; a closed
  // socket drops them.
  void Arrive(const Bytes& bytes);
  // One notification per piece; bytes beyond the sizes arrive as a last piece.
  void ArriveInPieces(const Bytes& bytes, const std::vector<size_t>& sizes);
  void FireConnect();
  void FirePeerClose();
  // A message loop: what is posted waits until a pump delivers it, one
  // notification per post, in order, as a host's DoEvents pass would. The
  // control's own posted arrivals queue up here too.
  void PostArrival(const Bytes& bytes);
  // Bytes still unread when the close is delivered get a data arrival first:
  // every byte of a connection comes before its close.
  void PostPeerClose();
  // Delivers the next posted notification; false when nothing was posted.
  bool PumpOne();
  // Runs after every write, as a server that answers at once; may post.
  std::function<void(const Bytes& written)> on_send;
  void FireError(const Text& description, int32_t number = 10054);

  // Record.
  const std::vector<ConnectCall>& Connects() const { return connects_; }
  int CloseCalls() const { return close_calls_; }
  // Every byte written, and the writes one by one.
  const Bytes& Sent() const { return sent_; }
  const std::vector<Bytes>& Writes() const { return writes_; }
  void ClearSent();
  bool Attached() const { return events_ != nullptr; }

 private:
  friend class SharedSocket;
  void Notify(const std::function<void(SocketEvents&)>& notification);

  SocketEvents* events_ = nullptr;
  int32_t state_ = kSocketClosed;
  std::deque<uint8_t> inbound_;
  struct Posted {
    enum class Kind { Arrival, Close, Wake } kind;
    Bytes bytes;
  };
  std::deque<Posted> posted_;
  bool wake_posted_ = false;
  std::optional<Failure> connect_failure_;
  std::optional<Failure> send_failure_;
  std::optional<Failure> read_failure_;
  std::vector<ConnectCall> connects_;
  int close_calls_ = 0;
  Bytes sent_;
  std::vector<Bytes> writes_;
  std::shared_ptr<CallJournal> journal_;
};

}  // namespace moravex
