#include "tests/support/fake_socket.h"

#include <algorithm>

namespace moravex {

class SharedSocket final : public SocketComponent {
 public:
  explicit SharedSocket(std::shared_ptr<FakeSocket> fake) : fake_(std::move(fake)) {}
  // A destroyed component fires nothing, even though the fake lives on.
  ~SharedSocket() override { fake_->events_ = nullptr; }
  void SetEvents(SocketEvents* events) override { fake_->SetEvents(events); }
  int32_t State() const override { return fake_->State(); }
  void Connect(const Text& remote_host, int32_t remote_port) override { fake_->Connect(remote_host, remote_port); }
  void Close() override { fake_->Close(); }
  void SendData(std::span<const uint8_t> bytes) override { fake_->SendData(bytes); }
  int32_t BytesReceived() const override { return fake_->BytesReceived(); }
  void GetData(std::span<uint8_t> into) override { fake_->GetData(into); }
  void PostDataArrival() override { fake_->PostDataArrival(); }

 private:
  std::shared_ptr<FakeSocket> fake_;
};

std::unique_ptr<SocketComponent> FakeSocket::Share(const std::shared_ptr<FakeSocket>& fake) {
  return std::make_unique<SharedSocket>(fake);
}

void FakeSocket::Connect(const Text& remote_host, int32_t remote_port) {
  Note(journal_, "Winsock1.Connect");
  if (connect_failure_) throw *connect_failure_;
  connects_.push_back({remote_host, remote_port});
  inbound_.clear();
  state_ = kSocketConnecting;
}

void FakeSocket::Close() {
  Note(journal_, "Winsock1.Close");
  ++close_calls_;
  inbound_.clear();
  state_ = kSocketClosed;
}

void FakeSocket::SendData(std::span<const uint8_t> bytes) {
  Note(journal_, "Winsock1.SendData(" + std::to_string(bytes.size()) + ")");
  if (send_failure_) throw *send_failure_;
  sent_.insert(sent_.end(), bytes.begin(), bytes.end());
  writes_.emplace_back(bytes.begin(), bytes.end());
  if (on_send) on_send(writes_.back());
}

void FakeSocket::GetData(std::span<uint8_t> into) {
  if (read_failure_) throw *read_failure_;
  if (into.size() > inbound_.size()) {
    throw Failure(kFailureNumber, kFailureSource, "GetData asked for more bytes than are waiting");
  }
  std::copy_n(inbound_.begin(), into.size(), into.begin());
  inbound_.erase(inbound_.begin(), inbound_.begin() + static_cast<std::ptrdiff_t>(into.size()));
}

void FakeSocket::FailConnect(const std::string& description) {
  connect_failure_.emplace(kFailureNumber, kFailureSource, description);
}

void FakeSocket::FailSend(const std::string& description) {
  send_failure_.emplace(kFailureNumber, kFailureSource, description);
}

void FakeSocket::FailReads(const std::string& description) {
  read_failure_.emplace(kFailureNumber, kFailureSource, description);
}

void FakeSocket::ClearSent() {
  sent_.clear();
  writes_.clear();
}

// Keeps itself alive across the call: the handler may drop the test's handle.
void FakeSocket::Notify(const std::function<void(SocketEvents&)>& notification) {
  const auto self = shared_from_this();
  if (events_ != nullptr) notification(*events_);
}

void FakeSocket::Arrive(const Bytes& bytes) {
  if (state_ == kSocketClosed) return;  // a closed socket receives nothing
  inbound_.insert(inbound_.end(), bytes.begin(), bytes.end());
  const auto total = static_cast<int32_t>(inbound_.size());
  Notify([total](SocketEvents& e) { e.OnSocketDataArrival(total); });
}

void FakeSocket::ArriveInPieces(const Bytes& bytes, const std::vector<size_t>& sizes) {
  const auto self = shared_from_this();
  size_t offset = 0;
  for (size_t size : sizes) {
    const size_t end = std::min(bytes.size(), offset + size);
    Arrive(
        Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset), bytes.begin() + static_cast<std::ptrdiff_t>(end)));
    offset = end;
  }
  if (offset < bytes.size()) Arrive(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset), bytes.end()));
}

void FakeSocket::FireConnect() {
  state_ = kSocketConnected;
  Notify([](SocketEvents& e) { e.OnSocketConnect(); });
}

void FakeSocket::FirePeerClose() {
  state_ = kSocketClosing;
  Notify([](SocketEvents& e) { e.OnSocketClose(); });
}

void FakeSocket::PostArrival(const Bytes& bytes) { posted_.push_back({Posted::Kind::Arrival, bytes}); }

void FakeSocket::PostPeerClose() { posted_.push_back({Posted::Kind::Close, {}}); }

void FakeSocket::PostDataArrival() {
  Note(journal_, "Winsock1.PostDataArrival");
  if (wake_posted_) return;
  wake_posted_ = true;
  posted_.push_back({Posted::Kind::Wake, {}});
}

bool FakeSocket::PumpOne() {
  if (posted_.empty()) return false;
  const auto self = shared_from_this();
  const Posted next = std::move(posted_.front());
  posted_.pop_front();
  switch (next.kind) {
    case Posted::Kind::Arrival: Arrive(next.bytes); break;
    case Posted::Kind::Wake:
      wake_posted_ = false;
      if (!inbound_.empty()) Arrive({});
      break;
    case Posted::Kind::Close:
      if (state_ == kSocketClosed) break;
      if (!inbound_.empty()) Arrive({});
      if (state_ != kSocketClosed) FirePeerClose();
      break;
  }
  return true;
}

void FakeSocket::FireError(const Text& description, int32_t number) {
  state_ = kSocketError;
  Notify([&](SocketEvents& e) { e.OnSocketError(number, description); });
}

}  // namespace moravex
