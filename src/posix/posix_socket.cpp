#include "posix/posix_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/failure.h"

namespace moravex {

namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;  // SO_NOSIGPIPE is set on the socket instead.
#endif

// The error event carries the numbers a Winsock host knows; errors without a
// Winsock twin keep their errno.
int32_t WinsockNumber(int error) {
  switch (error) {
    case EACCES: return 10013;
    case EINTR: return 10004;
    case EMFILE: return 10024;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case ENOBUFS: return 10055;
    case ENOTCONN: return 10057;
    case EPIPE: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    default: return error;
  }
}

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

const sockaddr* ToSockaddr(const PeerAddress& address) {
  return reinterpret_cast<const sockaddr*>(address.bytes.data());
}

// A non-blocking, close-on-exec stream socket that never raises SIGPIPE, or -1 with errno set.
int OpenStreamSocket(int family) {
  const int fd = socket(family, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0 || fcntl(fd, F_SETFD, FD_CLOEXEC) < 0) {
    const int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  const int on = 1;
#ifdef SO_NOSIGPIPE
  setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
  // A request goes out in several small writes; waiting for the previous
  // segment's acknowledgement would delay each one.
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

LookupOutcome LookUp(const NameLookup& lookup, const Text& host, int port) {
  try {
    return lookup(host, port);
  } catch (const std::exception& e) {
    LookupOutcome failed;
    failed.error.description = FromUtf8(e.what());
    return failed;
  } catch (...) {
    return LookupOutcome{};
  }
}

bool StartDetachedThread(std::function<void()> body) {
  try {
    std::thread(std::move(body)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

// Never destroyed: lookup threads may still run while the process exits.
LookupThreads& Lookups() {
  static LookupThreads* const threads = new LookupThreads(kLookupThreadLimit, &StartDetachedThread);
  return *threads;
}

}  // namespace

LookupOutcome LookUpWithGetAddrInfo(const Text& name, int port) {
  LookupOutcome outcome;
  if (name.find(u'\0') != Text::npos) return outcome;
  const std::string host = ToUtf8(name);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* list = nullptr;
  const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (rc != 0) {
    if (rc == EAI_AGAIN) {
      outcome.error = {kSocketTryAgain, FromUtf8(gai_strerror(rc))};
    } else if (rc != EAI_NONAME && rc != EAI_FAIL
#ifdef EAI_NODATA
               && rc != EAI_NODATA
#endif
    ) {
      outcome.error.description = FromUtf8(gai_strerror(rc));
    }
    return outcome;
  }
  for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_addr == nullptr || entry->ai_addrlen > sizeof(sockaddr_storage)) continue;
    PeerAddress address;
    static_assert(sizeof(sockaddr_storage) <= sizeof address.bytes);
    std::memcpy(address.bytes.data(), entry->ai_addr, entry->ai_addrlen);
    address.length = static_cast<uint32_t>(entry->ai_addrlen);
    outcome.addresses.push_back(address);
  }
  freeaddrinfo(list);
  return outcome;
}

// The system calls, the loop's readiness and the lookup of the socket core.
class PosixSocketCore final : public SocketCore {
 public:
  PosixSocketCore(EventLoop& loop, NameLookup lookup, SocketSizes sizes)
      : SocketCore(sizes),
        loop_(loop),
        lookup_(lookup ? std::move(lookup) : LookUpWithGetAddrInfo),
        lane_(std::make_shared<LookupThreads::Lane>()) {}
  ~PosixSocketCore() override { CloseDescriptor(); }

 private:
  bool LiteralAddress(const Text& host_text, int port, PeerAddress& address) override {
    const std::string host = ToUtf8(host_text);
    if (host.find('\0') != std::string::npos) return false;
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    if (inet_pton(AF_INET, host.c_str(), &v4.sin_addr) == 1) {
      v4.sin_family = AF_INET;
      v4.sin_port = htons(static_cast<uint16_t>(port));
      std::memcpy(address.bytes.data(), &v4, sizeof v4);
      address.length = sizeof v4;
    } else if (inet_pton(AF_INET6, host.c_str(), &v6.sin6_addr) == 1) {
      v6.sin6_family = AF_INET6;
      v6.sin6_port = htons(static_cast<uint16_t>(port));
      std::memcpy(address.bytes.data(), &v6, sizeof v6);
      address.length = sizeof v6;
    } else {
      return false;
    }
    return true;
  }

  std::optional<SocketError> StartLookup(const Text& host, int port, uint64_t generation) override {
    // The job sees only copies, a weak reference and a poster that outlives
    // the loop, so it may finish after the socket and the loop are gone. Its
    // own copy of the lookup, as a lookup with state of its own expects.
    auto job = [lookup = lookup_, host, port, post = loop_.RemotePoster(),
                weak = std::weak_ptr<SocketCore>(weak_from_this()), generation] {
      LookupOutcome outcome = LookUp(lookup, host, port);
      post([weak, generation, outcome = std::move(outcome)]() mutable {
        if (const auto self = weak.lock()) self->OnLookedUp(generation, std::move(outcome));
      });
    };
    if (Lookups().Submit(lane_, std::move(job))) return std::nullopt;
    return SocketError{WinsockNumber(ENOBUFS), u"No thread could be started for the name lookup"};
  }

  void CancelLookup() override { Lookups().Withdraw(*lane_); }

  int OpenAndConnect(const PeerAddress& address) override {
    const int fd = OpenStreamSocket(ToSockaddr(address)->sa_family);
    if (fd < 0) return errno;
    if (connect(fd, ToSockaddr(address), address.length) != 0 && errno != EINPROGRESS && errno != EINTR) {
      const int error = errno;
      close(fd);
      return error;
    }
    fd_ = fd;
    // Writable means connected or failed; the loop tells which.
    watch_ = loop_.Watch(fd_, POLLOUT, [weak = weak_from_this(), this](short revents) {
      if (const auto self = weak.lock()) OnReady(revents);
    });
    return 0;
  }

  void CloseDescriptor() override {
    if (watch_ != 0) loop_.Unwatch(watch_);
    watch_ = 0;
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  int Write(std::span<const uint8_t> bytes, size_t& sent) override {
    while (sent < bytes.size()) {
      const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, kSendFlags);
      if (n > 0) {
        sent += static_cast<size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && WouldBlock(errno)) {
        return 0;
      } else {
        return n < 0 ? errno : EPIPE;
      }
    }
    return 0;
  }

  ReadResult Read(std::span<uint8_t> room, size_t& received, int& error) override {
    for (;;) {
      const ssize_t n = recv(fd_, room.data(), room.size(), 0);
      if (n > 0) {
        received = static_cast<size_t>(n);
        return ReadResult::kData;
      }
      if (n == 0) return ReadResult::kEnd;
      if (errno == EINTR) continue;
      if (!WouldBlock(errno)) {
        error = errno;
        return ReadResult::kFailed;
      }
      if (!hung_up_) return ReadResult::kWouldBlock;
      // Hung up with nothing to read: the pending error, or a plain end.
      socklen_t length = sizeof error;
      if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
      return error != 0 ? ReadResult::kFailed : ReadResult::kEnd;
    }
  }

  void Watch(bool readable, bool writable) override {
    loop_.Modify(watch_, static_cast<short>((readable ? POLLIN : 0) | (writable ? POLLOUT : 0)));
  }

  void Post(std::function<void()> callback) override { loop_.Post(std::move(callback)); }

  SocketError Describe(int error) const override {
    return {WinsockNumber(error), FromUtf8(std::generic_category().message(error))};
  }

  void OnReady(short revents) {
    if (State() == kSocketConnecting) {
      int error = 0;
      socklen_t length = sizeof error;
      if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
      OnConnectOutcome(error);
      return;
    }
    // Reading first: what the peer sent before it went away is delivered
    // before a failed write can end the connection.
    const uint64_t generation = Generation();
    if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      hung_up_ = (revents & (POLLHUP | POLLERR)) != 0;
      OnReadable();
      if (generation != Generation()) return;
    }
    if ((revents & (POLLOUT | POLLHUP | POLLERR)) != 0) OnWritable();
  }

  EventLoop& loop_;
  const NameLookup lookup_;
  const std::shared_ptr<LookupThreads::Lane> lane_;
  int fd_ = -1;
  EventLoop::Id watch_ = 0;
  bool hung_up_ = false;
};

PosixSocket::PosixSocket(EventLoop& loop, NameLookup lookup, SocketSizes sizes)
    // Not make_shared: a separate block is freed with the object, so a use
    // after destruction is a use after free that sanitizers can see.
    : PlatformSocket(std::shared_ptr<SocketCore>(new PosixSocketCore(loop, std::move(lookup), sizes))) {}

}  // namespace moravex
