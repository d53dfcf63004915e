#include "windows/components/winsock_socket.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "windows/components/pinned_thread.h"
#include "windows/components/system_text.h"
#include "native/lookup_threads.h"

namespace moravex::windows {

namespace {

// WSAStartup once per process; never undone (the process's end does it).
int StartWinsock() {
  static const int result = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return result;
}

SocketError Described(int code) {
  return {code, SystemMessage(static_cast<DWORD>(code), "Winsock error " + std::to_string(code))};
}

LookupOutcome GetAddrInfo(const std::wstring& host, int port, bool numeric_only) {
  LookupOutcome outcome;
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV | (numeric_only ? AI_NUMERICHOST : 0);
  ADDRINFOW* list = nullptr;
  const int rc = GetAddrInfoW(host.c_str(), std::to_wstring(port).c_str(), &hints, &list);
  if (rc != 0) {
    outcome.error = Described(rc);
    return outcome;
  }
  for (const ADDRINFOW* entry = list; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_addr == nullptr || entry->ai_addrlen > sizeof(sockaddr_storage)) continue;
    PeerAddress address;
    std::memcpy(address.bytes.data(), entry->ai_addr, entry->ai_addrlen);
    address.length = static_cast<uint32_t>(entry->ai_addrlen);
    outcome.addresses.push_back(address);
  }
  FreeAddrInfoW(list);
  if (outcome.addresses.empty()) outcome.error = Described(WSAHOST_NOT_FOUND);
  return outcome;
}

// Destroyed only as the library unloads, which no lookup thread can outlast:
// each holds a reference on the module until its last instruction.
LookupThreads& Lookups() {
  static LookupThreads threads(kLookupThreadLimit, &StartPinnedThread);
  return threads;
}

const sockaddr* ToSockaddr(const PeerAddress& address) {
  return reinterpret_cast<const sockaddr*>(address.bytes.data());
}

}  // namespace

LookupOutcome LookUpWithGetAddrInfo(const Text& host, int port) {
  return GetAddrInfo(std::wstring(Wide(host), host.size()), port, false);
}

size_t LookupThreadsAlive() { return Lookups().Threads(); }

// The system calls, the window's notifications and the lookup of the socket core.
class WinsockSocketCore final : public SocketCore {
 public:
  WinsockSocketCore(std::shared_ptr<MessageWindow> window, NameLookup lookup, SocketSizes sizes)
      : SocketCore(sizes),
        window_(std::move(window)),
        lookup_(lookup ? std::move(lookup) : LookUpWithGetAddrInfo),
        lane_(std::make_shared<LookupThreads::Lane>()) {}
  ~WinsockSocketCore() override {
    Lookups().Withdraw(*lane_);
    CloseDescriptor();
  }

 private:
  bool LiteralAddress(const Text& host, int port, PeerAddress& address) override {
    if (StartWinsock() != 0 || host.find(u'\0') != Text::npos) return false;
    LookupOutcome literal = GetAddrInfo(std::wstring(Wide(host), host.size()), port, true);
    if (literal.addresses.empty()) return false;
    address = literal.addresses.front();
    return true;
  }

  std::optional<SocketError> StartLookup(const Text& host, int port, uint64_t generation) override {
    if (const int error = StartWinsock(); error != 0) return Described(error);
    if (host.find(u'\0') != Text::npos) return Described(WSAHOST_NOT_FOUND);
    // The job sees only copies, a weak reference and a mailbox that outlives
    // the window, so a late answer is dropped safely when the socket is gone.
    auto job = [lookup = lookup_, host, port, mailbox = window_->RemoteMailbox(), weak = weak_from_this(), generation] {
      LookupOutcome outcome = lookup(host, port);
      mailbox->Post([weak, generation, outcome = std::move(outcome)]() mutable {
        if (const auto self = weak.lock()) self->OnLookedUp(generation, std::move(outcome));
      });
    };
    if (Lookups().Submit(lane_, std::move(job))) return std::nullopt;
    return Described(WSAENOBUFS);
  }

  void CancelLookup() override { Lookups().Withdraw(*lane_); }

  int OpenAndConnect(const PeerAddress& address) override {
    if (const int error = StartWinsock(); error != 0) return error;
    const SOCKET candidate = socket(ToSockaddr(address)->sa_family, SOCK_STREAM, IPPROTO_TCP);
    if (candidate == INVALID_SOCKET) return WSAGetLastError();
    // A request goes out in several small writes; waiting for the previous
    // segment's acknowledgement would delay each one.
    const BOOL on = TRUE;
    setsockopt(candidate, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    socket_ = candidate;
    message_ = window_->AddMessageHandler([weak = weak_from_this(), this, candidate](WPARAM wparam, LPARAM lparam) {
      if (const auto self = weak.lock()) {
        if (static_cast<SOCKET>(wparam) == candidate && socket_ == candidate) OnNotification(lparam);
      }
    });
    if (WSAAsyncSelect(candidate, window_->Handle(), message_, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) == 0 &&
        (connect(candidate, ToSockaddr(address), static_cast<int>(address.length)) == 0 ||
         WSAGetLastError() == WSAEWOULDBLOCK)) {
      return 0;
    }
    const int error = WSAGetLastError();
    CloseDescriptor();
    return error;
  }

  void CloseDescriptor() override {
    if (message_ != 0) window_->RemoveMessageHandler(message_);
    message_ = 0;
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    socket_ = INVALID_SOCKET;
  }

  // FD_WRITE follows the WSAEWOULDBLOCK that leaves bytes over.
  int Write(std::span<const uint8_t> bytes, size_t& sent) override {
    while (sent < bytes.size()) {
      const int chunk = static_cast<int>(std::min<size_t>(bytes.size() - sent, std::numeric_limits<int>::max()));
      const int n = send(socket_, reinterpret_cast<const char*>(bytes.data() + sent), chunk, 0);
      if (n > 0) {
        sent += static_cast<size_t>(n);
        continue;
      }
      const int error = n == 0 ? WSAECONNRESET : WSAGetLastError();
      return error == WSAEWOULDBLOCK ? 0 : error;
    }
    return 0;
  }

  // recv re-arms FD_READ for whatever is left.
  ReadResult Read(std::span<uint8_t> room, size_t& received, int& error) override {
    const int n = recv(socket_, reinterpret_cast<char*>(room.data()),
                       static_cast<int>(std::min<size_t>(room.size(), std::numeric_limits<int>::max())), 0);
    if (n > 0) {
      received = static_cast<size_t>(n);
      return ReadResult::kData;
    }
    if (n == 0) return ReadResult::kEnd;
    error = WSAGetLastError();
    return error == WSAEWOULDBLOCK ? ReadResult::kWouldBlock : ReadResult::kFailed;
  }

  // WSAAsyncSelect reports every kind of readiness on its own.
  void Watch(bool, bool) override {}

  void Post(std::function<void()> callback) override { window_->Post(std::move(callback)); }

  SocketError Describe(int error) const override { return Described(error); }

  void OnNotification(LPARAM lparam) {
    const int error = WSAGETSELECTERROR(lparam);
    switch (WSAGETSELECTEVENT(lparam)) {
      case FD_CONNECT: OnConnectOutcome(error); break;
      case FD_READ: OnReadable(); break;
      case FD_WRITE:
        if (error == 0) OnWritable();
        break;
      // An abortive close (WSAECONNRESET, WSAECONNABORTED) is an error, a
      // graceful one the close event; either comes after what was still waiting.
      case FD_CLOSE: OnReadable(true, error); break;
      default: break;
    }
  }

  const std::shared_ptr<MessageWindow> window_;
  const NameLookup lookup_;
  const std::shared_ptr<LookupThreads::Lane> lane_;
  SOCKET socket_ = INVALID_SOCKET;
  UINT message_ = 0;
};

WinsockSocket::WinsockSocket(std::shared_ptr<MessageWindow> window, NameLookup lookup, SocketSizes sizes)
    // Not make_shared: a separate block is freed with the object, so a use
    // after destruction is a use after free that a checker can see.
    : PlatformSocket(std::shared_ptr<SocketCore>(new WinsockSocketCore(std::move(window), std::move(lookup), sizes))) {}

}  // namespace moravex::windows
