#include "components/winsock_socket.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "components/system_text.h"
#include "platform/failure.h"

namespace moravex::windows {

namespace {

// Reading stops after this much per notification so one busy peer cannot
// hold the message loop; recv re-arms FD_READ for the rest.
constexpr size_t kReadPerNotification = 1u << 20;
constexpr size_t kReadChunk = 64 * 1024;

int32_t HresultForm(int code) { return static_cast<int32_t>(0x800A0000u | (static_cast<uint32_t>(code) & 0xFFFFu)); }

Text ErrorText(int code) {
  return SystemMessage(static_cast<DWORD>(code), "Winsock error " + std::to_string(code));
}

// WSAStartup once per process; never undone (the process's end does it).
int StartWinsock() {
  static const int result = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return result;
}

// A byte queue with a movable head: appends and consumes are memcpy, the
// storage is never zero-filled, and consumed space is reused by moving the
// live bytes to the front only when the tail runs out.
class ByteQueue {
 public:
  size_t Size() const { return tail_ - head_; }
  const uint8_t* Data() const { return storage_.get() + head_; }
  void Clear() { head_ = tail_ = 0; }

  // Room for at least n bytes after the live ones.
  uint8_t* Reserve(size_t n) {
    if (capacity_ - tail_ < n) {
      const size_t live = Size();
      if (capacity_ - live >= n) {
        std::memmove(storage_.get(), Data(), live);
      } else {
        const size_t capacity = std::max(capacity_ * 2, live + n);
        auto grown = std::make_unique_for_overwrite<uint8_t[]>(capacity);
        if (live > 0) std::memcpy(grown.get(), Data(), live);
        storage_ = std::move(grown);
        capacity_ = capacity;
      }
      head_ = 0;
      tail_ = live;
    }
    return storage_.get() + tail_;
  }
  void Commit(size_t n) { tail_ += n; }
  void Append(const uint8_t* data, size_t n) {
    std::memcpy(Reserve(n), data, n);
    Commit(n);
  }
  void Consume(size_t n) {
    head_ += n;
    if (head_ == tail_) Clear();
  }

 private:
  std::unique_ptr<uint8_t[]> storage_;
  size_t capacity_ = 0;
  size_t head_ = 0;
  size_t tail_ = 0;
};

struct Address {
  sockaddr_storage storage{};
  int length = 0;
};

// The outcome of a lookup: the addresses to try in order, or the Winsock
// error to report when there is none.
struct Resolution {
  std::vector<Address> addresses;
  int error = WSAHOST_NOT_FOUND;
};

Resolution Lookup(const std::wstring& host, int port, bool numeric_only) {
  Resolution resolution;
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV | (numeric_only ? AI_NUMERICHOST : 0);
  ADDRINFOW* list = nullptr;
  const int rc = GetAddrInfoW(host.c_str(), std::to_wstring(port).c_str(), &hints, &list);
  if (rc != 0) {
    resolution.error = rc;
    return resolution;
  }
  for (const ADDRINFOW* entry = list; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_addr == nullptr || entry->ai_addrlen > sizeof(sockaddr_storage)) continue;
    Address address;
    std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
    address.length = static_cast<int>(entry->ai_addrlen);
    resolution.addresses.push_back(address);
  }
  FreeAddrInfoW(list);
  return resolution;
}

// Name lookups of one socket, off the UI thread. At most one thread per
// socket: a request made while a lookup runs replaces any request still
// waiting, and the running thread takes it next; an idle thread ends. A
// lookup that hangs holds only its own thread, whose late answer the socket
// drops by generation. Requests of a closed or destroyed socket are cancelled
// before they start.
class Resolver : public std::enable_shared_from_this<Resolver> {
 public:
  // Called on the lookup thread; must only post.
  using Deliver = std::function<void(uint64_t generation, Resolution resolution)>;

  explicit Resolver(Deliver deliver) : deliver_(std::move(deliver)) {}

  // False when no thread could be started (the request is then dropped).
  bool Submit(std::wstring host, int port, uint64_t generation) {
    AcquireSRWLockExclusive(&lock_);
    host_ = std::move(host);
    port_ = port;
    generation_ = generation;
    pending_ = true;
    const bool start = !running_;
    running_ = true;
    ReleaseSRWLockExclusive(&lock_);
    if (!start) return true;
    auto* keep = new std::shared_ptr<Resolver>(shared_from_this());
    const HANDLE thread = CreateThread(nullptr, 0, &Resolver::Run, keep, 0, nullptr);
    if (thread != nullptr) {
      CloseHandle(thread);
      return true;
    }
    delete keep;
    AcquireSRWLockExclusive(&lock_);
    running_ = false;
    pending_ = false;
    ReleaseSRWLockExclusive(&lock_);
    return false;
  }

  void Cancel() {
    AcquireSRWLockExclusive(&lock_);
    pending_ = false;
    ReleaseSRWLockExclusive(&lock_);
  }

 private:
  static DWORD WINAPI Run(void* parameter) {
    const std::shared_ptr<Resolver> self = std::move(*static_cast<std::shared_ptr<Resolver>*>(parameter));
    delete static_cast<std::shared_ptr<Resolver>*>(parameter);
    for (;;) {
      AcquireSRWLockExclusive(&self->lock_);
      if (!self->pending_) {
        self->running_ = false;
        ReleaseSRWLockExclusive(&self->lock_);
        return 0;
      }
      self->pending_ = false;
      const std::wstring host = self->host_;
      const int port = self->port_;
      const uint64_t generation = self->generation_;
      ReleaseSRWLockExclusive(&self->lock_);
      try {
        self->deliver_(generation, Lookup(host, port, false));
      } catch (...) {
        // Out of memory on this thread: the socket stays in its lookup state
        // until the host closes it or connects again.
      }
    }
  }

  SRWLOCK lock_ = SRWLOCK_INIT;
  bool running_ = false;
  bool pending_ = false;
  std::wstring host_;
  int port_ = 0;
  uint64_t generation_ = 0;
  const Deliver deliver_;
};

}  // namespace

// Everything the window's notifications touch lives here. They hold it
// through a weak reference, lock it for the length of their work, and after
// every call into SocketEvents compare the generation they started with: any
// Close, Connect, failure or destruction of the component advances it, and
// the notification then returns without touching anything else.
class WinsockSocket::Impl : public std::enable_shared_from_this<WinsockSocket::Impl> {
 public:
  explicit Impl(std::shared_ptr<MessageWindow> window) : window_(std::move(window)) {}
  ~Impl() {
    if (resolver_) resolver_->Cancel();
    CloseSocket();
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  SocketEvents* events = nullptr;
  int32_t state = kSocketClosed;

  void Connect(const Text& host, int port) {
    Close();
    if (const int error = StartWinsock(); error != 0) {
      state = kSocketConnecting;
      PostFailure(error);
      return;
    }
    std::wstring name(Wide(host), host.size());
    if (name.size() > 2 && name.front() == L'[' && name.back() == L']') name = name.substr(1, name.size() - 2);
    if (name.find(L'\0') != std::wstring::npos) {
      state = kSocketResolvingHost;
      PostFailure(WSAHOST_NOT_FOUND);
      return;
    }
    // Literal addresses need no lookup and never leave the thread.
    if (Resolution literal = Lookup(name, port, true); !literal.addresses.empty()) {
      addresses_ = std::move(literal.addresses);
      state = kSocketConnecting;
      ConnectToNextAddress();
      return;
    }
    state = kSocketResolvingHost;
    if (!resolver_) {
      resolver_ = std::make_shared<Resolver>(
          [mailbox = window_->RemoteMailbox(), weak = weak_from_this()](uint64_t generation, Resolution resolution) {
            mailbox->Post([weak, generation, resolution = std::move(resolution)]() mutable {
              if (const auto self = weak.lock()) self->OnResolved(generation, std::move(resolution));
            });
          });
    }
    if (!resolver_->Submit(std::move(name), port, generation_)) PostFailure(WSAENOBUFS);
  }

  void Close() {
    ++generation_;
    if (resolver_) resolver_->Cancel();
    CloseSocket();
    in_.Clear();
    out_.Clear();
    addresses_.clear();
    next_address_ = 0;
    state = kSocketClosed;
  }

  void SendData(std::span<const uint8_t> bytes) {
    if (state != kSocketConnected) {
      throw Failure(kSocketWrongState, kSocketSource,
                    "Wrong protocol or connection state for the requested transaction or request");
    }
    if (bytes.empty()) return;
    if (out_.Size() + bytes.size() > kSendQueueLimit) {
      throw Failure(kSocketSendQueueFull, kSocketSource,
                    "Send queue full: more than " + std::to_string(kSendQueueLimit) +
                        " bytes would wait for the connection");
    }
    if (out_.Size() == 0) {
      size_t sent = 0;
      if (const int error = Write(bytes.data(), bytes.size(), sent)) {
        // The caller learns it now; the host learns the connection is gone
        // from the error event, as from a failure a notification finds.
        const uint64_t generation = FailQuietly();
        window_->Post([weak = weak_from_this(), generation, error] {
          const auto self = weak.lock();
          if (self && self->generation_ == generation) self->FireError(error);
        });
        throw Failure(HresultForm(error), kSocketSource, Utf8(ErrorText(error)));
      }
      bytes = bytes.subspan(sent);
    }
    // FD_WRITE follows the WSAEWOULDBLOCK that left these bytes over.
    if (!bytes.empty()) out_.Append(bytes.data(), bytes.size());
  }

  size_t Buffered() const { return in_.Size(); }
  size_t Queued() const { return out_.Size(); }

  void GetData(std::span<uint8_t> into) {
    if (into.size() > in_.Size()) {
      throw Failure(kSocketInvalidArgument, kSocketSource, "Fewer bytes received than requested");
    }
    if (!into.empty()) std::memcpy(into.data(), in_.Data(), into.size());
    in_.Consume(into.size());
  }

 private:
  void CloseSocket() {
    if (message_ != 0) window_->RemoveMessageHandler(message_);
    message_ = 0;
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    socket_ = INVALID_SOCKET;
  }

  // Ends the connection without an event; returns the generation an event
  // about it must still find.
  uint64_t FailQuietly() {
    CloseSocket();
    out_.Clear();
    addresses_.clear();
    state = kSocketError;
    return ++generation_;
  }

  void Fail(int error) {
    FailQuietly();
    FireError(error);
  }

  void FireError(int error) {
    if (events != nullptr) events->OnSocketError(error, ErrorText(error));
  }

  // Connect must not fire from inside the call.
  void PostFailure(int error) {
    window_->Post([weak = weak_from_this(), generation = generation_, error] {
      const auto self = weak.lock();
      if (self && self->generation_ == generation) self->Fail(error);
    });
  }

  void OnResolved(uint64_t generation, Resolution resolution) {
    if (generation != generation_ || state != kSocketResolvingHost) return;
    if (resolution.addresses.empty()) {
      Fail(resolution.error);
      return;
    }
    addresses_ = std::move(resolution.addresses);
    next_address_ = 0;
    state = kSocketConnecting;
    ConnectToNextAddress();
  }

  // Starts a non-blocking connect to the first remaining address that takes
  // one; when none does, the last error is posted.
  void ConnectToNextAddress() {
    int error = WSAEADDRNOTAVAIL;
    while (next_address_ < addresses_.size()) {
      const Address& address = addresses_[next_address_++];
      const SOCKET candidate = socket(address.storage.ss_family, SOCK_STREAM, IPPROTO_TCP);
      if (candidate == INVALID_SOCKET) {
        error = WSAGetLastError();
        continue;
      }
      // A request goes out in several small writes; waiting for the previous
      // segment's acknowledgement would delay each one.
      const BOOL on = TRUE;
      setsockopt(candidate, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
      const UINT message = window_->AddMessageHandler(
          [weak = weak_from_this(), candidate](WPARAM wparam, LPARAM lparam) {
            if (const auto self = weak.lock()) {
              if (static_cast<SOCKET>(wparam) == candidate && self->socket_ == candidate) self->OnNotification(lparam);
            }
          });
      socket_ = candidate;
      message_ = message;
      if (WSAAsyncSelect(candidate, window_->Handle(), message, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) == 0 &&
          (connect(candidate, reinterpret_cast<const sockaddr*>(&address.storage), address.length) == 0 ||
           WSAGetLastError() == WSAEWOULDBLOCK)) {
        return;
      }
      error = WSAGetLastError();
      CloseSocket();
    }
    PostFailure(error);
  }

  void OnNotification(LPARAM lparam) {
    const int error = WSAGETSELECTERROR(lparam);
    switch (WSAGETSELECTEVENT(lparam)) {
      case FD_CONNECT: OnConnectOutcome(error); break;
      case FD_READ:
        if (state == kSocketConnected) Receive();
        break;
      case FD_WRITE:
        if (error == 0) Flush();
        break;
      case FD_CLOSE:
        if (state == kSocketConnected) OnPeerClosed(error);
        break;
      default: break;
    }
  }

  void OnConnectOutcome(int error) {
    if (state != kSocketConnecting) return;
    if (error != 0) {
      CloseSocket();
      if (next_address_ < addresses_.size()) {
        ConnectToNextAddress();
      } else {
        Fail(error);
      }
      return;
    }
    state = kSocketConnected;
    addresses_.clear();
    if (events != nullptr) events->OnSocketConnect();
  }

  // Sends what the kernel takes now; returns 0 or the error of a hard failure.
  int Write(const uint8_t* data, size_t size, size_t& sent) {
    while (sent < size) {
      const int chunk = static_cast<int>(std::min<size_t>(size - sent, std::numeric_limits<int>::max()));
      const int n = send(socket_, reinterpret_cast<const char*>(data + sent), chunk, 0);
      if (n > 0) {
        sent += static_cast<size_t>(n);
        continue;
      }
      const int error = n == 0 ? WSAECONNRESET : WSAGetLastError();
      return error == WSAEWOULDBLOCK ? 0 : error;
    }
    return 0;
  }

  void Flush() {
    if (out_.Size() == 0 || socket_ == INVALID_SOCKET) return;
    size_t sent = 0;
    const int error = Write(out_.Data(), out_.Size(), sent);
    out_.Consume(sent);
    if (error == 0) return;
    if (state == kSocketClosing) {
      // The peer has closed and the host has been told; what it did not
      // read is lost either way.
      out_.Clear();
      return;
    }
    Fail(error);
  }

  // Reads what is waiting, in big chunks straight into the receive buffer.
  // Returns 0, or the error that ended reading; `end` tells of the peer's FIN.
  // Unbounded once the peer has closed: the close event must come last.
  int ReadWaiting(size_t& received, bool& end, bool closing) {
    while (closing || received < kReadPerNotification) {
      uint8_t* tail = in_.Reserve(kReadChunk);
      const int n = recv(socket_, reinterpret_cast<char*>(tail), static_cast<int>(kReadChunk), 0);
      if (n > 0) {
        in_.Commit(static_cast<size_t>(n));
        received += static_cast<size_t>(n);
      } else if (n == 0) {
        end = true;
        return 0;
      } else {
        const int error = WSAGetLastError();
        return error == WSAEWOULDBLOCK ? 0 : error;
      }
    }
    return 0;
  }

  // Data first, so a host reading in its handler sees every byte before the
  // close or the error; then the ending, once.
  void Receive(int close_error = 0, bool closing = false) {
    const uint64_t generation = generation_;
    size_t received = 0;
    bool end = closing;
    int error = ReadWaiting(received, end, closing);
    if (received > 0) {
      if (events != nullptr) {
        events->OnSocketDataArrival(static_cast<int32_t>(std::min<size_t>(in_.Size(), std::numeric_limits<int32_t>::max())));
      }
      if (generation != generation_) return;
    }
    if (error == 0) error = close_error;
    if (error != 0) {
      Fail(error);
    } else if (end) {
      state = kSocketClosing;
      if (events != nullptr) events->OnSocketClose();
    }
  }

  void OnPeerClosed(int error) {
    // An abortive close (WSAECONNRESET, WSAECONNABORTED) is an error, a
    // graceful one the close event; either comes after what was still waiting.
    Receive(error, true);
  }

  std::shared_ptr<MessageWindow> window_;
  std::shared_ptr<Resolver> resolver_;
  uint64_t generation_ = 0;
  SOCKET socket_ = INVALID_SOCKET;
  UINT message_ = 0;
  std::vector<Address> addresses_;
  size_t next_address_ = 0;
  ByteQueue in_;
  ByteQueue out_;
};

WinsockSocket::WinsockSocket(std::shared_ptr<MessageWindow> window)
    // Not make_shared: a separate block is freed with the object, so a use
    // after destruction is a use after free that a checker can see.
    : impl_(new Impl(std::move(window))) {}

WinsockSocket::~WinsockSocket() {
  impl_->events = nullptr;
  impl_->Close();
}

void WinsockSocket::SetEvents(SocketEvents* events) { impl_->events = events; }

int32_t WinsockSocket::State() const { return impl_->state; }

void WinsockSocket::Connect(const Text& remote_host, int32_t remote_port) {
  if (remote_host.empty() || remote_port < 1 || remote_port > 65535) {
    throw Failure(kSocketInvalidArgument, kSocketSource, "Invalid argument");
  }
  impl_->Connect(remote_host, remote_port);
}

void WinsockSocket::Close() { impl_->Close(); }

void WinsockSocket::SendData(std::span<const uint8_t> bytes) { impl_->SendData(bytes); }

int32_t WinsockSocket::BytesReceived() const {
  return static_cast<int32_t>(std::min<size_t>(impl_->Buffered(), std::numeric_limits<int32_t>::max()));
}

void WinsockSocket::GetData(std::span<uint8_t> into) { impl_->GetData(into); }

size_t WinsockSocket::QueuedBytes() const { return impl_->Queued(); }

}  // namespace moravex::windows
