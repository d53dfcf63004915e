#include "native/platform_socket.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

namespace moravex {

namespace {

int32_t Clamped(size_t n) { return static_cast<int32_t>(std::min<size_t>(n, std::numeric_limits<int32_t>::max())); }

std::string SizeText(size_t bytes) {
  if (bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  if (bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KiB";
  return std::to_string(bytes) + " bytes";
}

}  // namespace

std::span<uint8_t> ReceiveBuffer::Room(size_t want) {
  if (capacity_ - tail_ < want) {
    const size_t live = Size();
    if (capacity_ - live >= want && live <= capacity_ / 2) {
      std::memmove(block_.get(), block_.get() + head_, live);
    } else {
      const size_t capacity = std::max(capacity_ * 2, live + want);
      auto block = std::make_unique_for_overwrite<uint8_t[]>(capacity);
      if (live > 0) std::memcpy(block.get(), block_.get() + head_, live);
      block_ = std::move(block);
      capacity_ = capacity;
    }
    head_ = 0;
    tail_ = live;
  }
  return {block_.get() + tail_, capacity_ - tail_};
}

void ReceiveBuffer::Take(std::span<uint8_t> into) {
  if (into.empty()) return;
  std::memcpy(into.data(), block_.get() + head_, into.size());
  head_ += into.size();
  if (head_ == tail_) head_ = tail_ = 0;
}

void ReceiveBuffer::Release() {
  block_.reset();
  capacity_ = head_ = tail_ = 0;
}

void SendQueue::Consume(size_t sent) {
  head_ += sent;
  if (head_ == bytes_.size()) {
    Clear();
  } else if (head_ > 4096 && head_ > bytes_.size() / 2) {
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
  }
}

void SendQueue::Clear() {
  bytes_.clear();
  head_ = 0;
}

void SocketCore::Connect(const Text& remote_host, int32_t remote_port) {
  if (remote_host.empty() || remote_port < 1 || remote_port > 65535) {
    throw Failure(kSocketInvalidArgument, kSocketSource, "Invalid argument");
  }
  Close();
  Text host = remote_host;
  if (host.size() > 2 && host.front() == u'[' && host.back() == u']') host = host.substr(1, host.size() - 2);
  PeerAddress literal;
  if (LiteralAddress(host, remote_port, literal)) {
    addresses_.push_back(literal);
    state_ = kSocketConnecting;
    ConnectToNextAddress();
    return;
  }
  state_ = kSocketResolvingHost;
  if (auto refused = StartLookup(host, remote_port, generation_)) PostFailure(std::move(*refused));
}

void SocketCore::Close() {
  ++generation_;
  CancelLookup();
  CloseDescriptor();
  in_.Release();
  out_.Clear();
  addresses_.clear();
  next_address_ = 0;
  ending_.reset();
  state_ = kSocketClosed;
}

void SocketCore::SendData(std::span<const uint8_t> bytes) {
  if (state_ != kSocketConnected) {
    throw Failure(kSocketWrongState, kSocketSource,
                  "Wrong protocol or connection state for the requested transaction or request");
  }
  if (bytes.empty()) return;
  if (out_.Size() == 0) {
    // Nothing waits: the kernel takes what it can now, and only the rest
    // waits, however much that is. The caller holds all of it already.
    size_t sent = 0;
    if (const int error = Write(bytes, sent)) {
      // The caller learns it now; the host learns the connection is gone
      // from the error event, as from a failure a notification finds.
      SocketError failure = Describe(error);
      const std::string description = ToUtf8(failure.description);
      const uint64_t generation = FailQuietly();
      Post([weak = weak_from_this(), generation, failure]() mutable {
        const auto self = weak.lock();
        if (self && self->generation_ == generation) self->End({std::move(failure)});
      });
      throw Failure(AutomationError(static_cast<uint32_t>(failure.number)), kSocketSource, description);
    }
    bytes = bytes.subspan(sent);
    if (bytes.empty()) return;
  } else if (bytes.size() > send_queue_limit_ || out_.Size() > send_queue_limit_ - bytes.size()) {
    // Checked before anything of this send is written, so a refused request
    // leaves no trace on the wire.
    throw Failure(kSocketNoBufferSpace, kSocketSource,
                  "No buffer space is available: the peer is not reading and the send queue is full (" +
                      SizeText(send_queue_limit_) + ")");
  }
  out_.Append(bytes);
  UpdateWatch();
}

void SocketCore::GetData(std::span<uint8_t> into) {
  if (into.size() > in_.Size()) {
    throw Failure(kSocketInvalidArgument, kSocketSource, "Fewer bytes received than requested");
  }
  in_.Take(into);
}

void SocketCore::OnConnectOutcome(int error) {
  if (state_ != kSocketConnecting) return;
  if (error != 0) {
    CloseDescriptor();
    if (next_address_ < addresses_.size()) {
      ConnectToNextAddress();
    } else {
      Fail(Describe(error));
    }
    return;
  }
  state_ = kSocketConnected;
  addresses_.clear();
  UpdateWatch();
  if (events != nullptr) events->OnSocketConnect();
}

void SocketCore::OnReadable(bool peer_closed, int close_error) {
  if (state_ != kSocketConnected || ending_) return;
  const uint64_t generation = generation_;
  size_t total = 0;
  for (;;) {
    // Once the peer has closed, everything before its FIN is read: the close
    // event must come last.
    if (!peer_closed && total >= kReadPerReadiness) return;
    size_t received = 0;
    int error = 0;
    const ReadResult result = Read(in_.Room(read_size_).first(read_size_), received, error);
    if (result == ReadResult::kData) {
      in_.Commit(received);
      total += received;
      // Data first, so a host reading in its handler sees every byte before
      // the close or the error.
      if (!DeliverData(generation)) return;
      if (ending_) return;  // a nested notification found the end meanwhile
      // Level-triggered: a short read emptied the socket, and whatever lands
      // now brings the next readiness, so no read is spent learning that.
      if (!peer_closed && received < read_size_) return;
      continue;
    }
    if (result == ReadResult::kFailed) {
      End({Describe(close_error != 0 ? close_error : error)});
    } else if (result == ReadResult::kEnd || peer_closed) {
      // An abortive close (a reset) is an error, a graceful one the close event.
      End({close_error != 0 ? std::optional(Describe(close_error)) : std::nullopt});
    }
    return;
  }
}

void SocketCore::OnWritable() {
  if (out_.Size() == 0) return;
  size_t sent = 0;
  const int error = Write(out_.Waiting(), sent);
  out_.Consume(sent);
  if (error != 0) {
    if (state_ == kSocketClosing || ending_) {
      // The peer has closed; what it did not read is lost either way.
      out_.Clear();
      UpdateWatch();
      return;
    }
    End({Describe(error)});
    return;
  }
  if (out_.Size() == 0) UpdateWatch();
}

void SocketCore::OnLookedUp(uint64_t generation, LookupOutcome outcome) {
  if (generation != generation_ || state_ != kSocketResolvingHost) return;
  if (outcome.addresses.empty()) {
    Fail(outcome.error);
    return;
  }
  addresses_ = std::move(outcome.addresses);
  next_address_ = 0;
  state_ = kSocketConnecting;
  ConnectToNextAddress();
}

// Starts a non-blocking connect to the first remaining address that takes
// one; when none does, the last error is posted.
void SocketCore::ConnectToNextAddress() {
  int error = 0;
  while (next_address_ < addresses_.size()) {
    error = OpenAndConnect(addresses_[next_address_++]);
    if (error == 0) return;
  }
  PostFailure(Describe(error));
}

uint64_t SocketCore::FailQuietly() {
  CloseDescriptor();
  out_.Clear();
  addresses_.clear();
  ending_.reset();
  state_ = kSocketError;
  return ++generation_;
}

void SocketCore::Fail(const SocketError& error) {
  FailQuietly();
  FireError(error);
}

void SocketCore::FireError(const SocketError& error) {
  if (events != nullptr) events->OnSocketError(error.number, error.description);
}

// Connect must not fire from inside the call.
void SocketCore::PostFailure(SocketError error) {
  Post([weak = weak_from_this(), generation = generation_, error = std::move(error)] {
    const auto self = weak.lock();
    if (self && self->generation_ == generation) self->Fail(error);
  });
}

void SocketCore::End(Ending ending) {
  ending_ = std::move(ending);
  // Reading stops here; what is queued still goes out after a close.
  UpdateWatch();
  if (arrivals_ == 0 || in_.Size() == 0) ReportEnding();
}

void SocketCore::ReportEnding() {
  Ending ending = std::move(*ending_);
  ending_.reset();
  if (ending.error) {
    Fail(*ending.error);
    return;
  }
  state_ = kSocketClosing;
  UpdateWatch();
  if (events != nullptr) events->OnSocketClose();
}

bool SocketCore::DeliverData(uint64_t generation) {
  if (events == nullptr) return true;
  ++arrivals_;
  events->OnSocketDataArrival(Clamped(in_.Size()));
  --arrivals_;
  // An ending that a nested notification found waited for this return.
  if (arrivals_ == 0 && ending_) {
    ReportEnding();
    return false;
  }
  return generation == generation_;
}

void SocketCore::PostDataArrival() {
  if (posted_arrival_ == generation_) return;
  posted_arrival_ = generation_;
  Post([weak = weak_from_this(), generation = generation_] {
    const auto self = weak.lock();
    if (!self || self->posted_arrival_ != generation) return;
    self->posted_arrival_.reset();
    if (generation != self->generation_ || self->in_.Size() == 0) return;
    // Any ending this arrival holds back is reported as it returns.
    self->DeliverData(generation);
  });
}

void SocketCore::UpdateWatch() {
  if (state_ != kSocketConnected && state_ != kSocketClosing) return;
  Watch(state_ == kSocketConnected && !ending_, out_.Size() > 0);
}

PlatformSocket::~PlatformSocket() {
  core_->events = nullptr;
  core_->Close();
}

int32_t PlatformSocket::BytesReceived() const { return Clamped(core_->Buffered()); }

}  // namespace moravex
