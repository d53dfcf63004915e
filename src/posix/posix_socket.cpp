#include "posix/posix_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/failure.h"

namespace moravex {

namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;  // SO_NOSIGPIPE is set on the socket instead.
#endif

// Reading stops after this much per readiness so one busy peer cannot hold
// the loop; more than the kernel usually holds for one socket.
constexpr size_t kReadPerReadiness = 4 << 20;
// One read, and the data arrival that follows it. Small enough that the host
// copies the bytes out while they are still in the cache the kernel put them in.
constexpr size_t kReadSize = 64 * 1024;

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

std::string ErrorText(int error) { return std::generic_category().message(error); }

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

std::optional<SocketAddress> NumericAddress(std::string host, int port) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (host.find('\0') != std::string::npos) return std::nullopt;
  SocketAddress address;
  sockaddr_in v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4.sin_addr) == 1) {
    v4.sin_family = AF_INET;
    v4.sin_port = htons(static_cast<uint16_t>(port));
    std::memcpy(&address.storage, &v4, sizeof v4);
    address.length = sizeof v4;
    return address;
  }
  sockaddr_in6 v6{};
  if (inet_pton(AF_INET6, host.c_str(), &v6.sin6_addr) == 1) {
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(static_cast<uint16_t>(port));
    std::memcpy(&address.storage, &v6, sizeof v6);
    address.length = sizeof v6;
    return address;
  }
  return std::nullopt;
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

// Drops consumed bytes from the front once they make up half the buffer, so
// appending and consuming stay linear overall.
void Compact(std::vector<uint8_t>& buffer, size_t& head) {
  if (head == buffer.size()) {
    buffer.clear();
    head = 0;
  } else if (head > 4096 && head > buffer.size() / 2) {
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(head));
    head = 0;
  }
}

// Received bytes not yet read: [head, tail) of one block that recv writes into
// directly. The host normally reads everything in its data-arrival handler, so
// the block is usually empty again by the next read and nothing ever moves;
// unread bytes move to the front only when the free end runs short.
class InboundBuffer {
 public:
  size_t Size() const { return tail_ - head_; }

  // The free end, at least `want` bytes long.
  std::span<uint8_t> Room(size_t want) {
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
  void Commit(size_t received) { tail_ += received; }

  // The caller has checked that enough bytes are waiting.
  void Take(std::span<uint8_t> into) {
    if (into.empty()) return;
    std::memcpy(into.data(), block_.get() + head_, into.size());
    head_ += into.size();
    if (head_ == tail_) head_ = tail_ = 0;
  }

  void Release() {
    block_.reset();
    capacity_ = head_ = tail_ = 0;
  }

 private:
  std::unique_ptr<uint8_t[]> block_;
  size_t capacity_ = 0;
  size_t head_ = 0;
  size_t tail_ = 0;
};

Resolution Resolve(const Resolver& resolver, const std::string& host, int port) {
  try {
    return resolver(host, port);
  } catch (const std::exception& e) {
    Resolution failed;
    failed.error_description = e.what();
    return failed;
  } catch (...) {
    return Resolution{};
  }
}

// The shared lookup threads (see Resolver). Each socket has a lane: the
// lookup it wants next, if any, and whether the lane already waits in line.
class ResolverPool {
 public:
  struct Lookup {
    std::string host;
    int port = 0;
    std::function<void(Resolution)> deliver;
  };
  struct Lane {
    explicit Lane(Resolver r) : resolver(std::move(r)) {}
    const Resolver resolver;
    // Guarded by the pool's mutex.
    std::optional<Lookup> waiting;
    bool in_line = false;
  };

  // Never destroyed: lookup threads may still run while the process exits.
  static ResolverPool& Instance() {
    static ResolverPool* const pool = new ResolverPool;
    return *pool;
  }

  // Replaces the lane's waiting lookup. Returns false when no thread exists
  // and none can be started, the lookup then withdrawn.
  bool Submit(const std::shared_ptr<Lane>& lane, Lookup lookup) {
    std::optional<Lookup> replaced;
    std::lock_guard<std::mutex> lock(mutex_);
    replaced.swap(lane->waiting);
    lane->waiting = std::move(lookup);
    if (!lane->in_line) {
      line_.push_back(lane);
      lane->in_line = true;
    }
    if (threads_ - busy_ >= line_.size() || threads_ >= kResolverThreads) return true;
    try {
      std::thread([this] { Work(); }).detach();
      ++threads_;
    } catch (const std::system_error&) {
      if (threads_ == 0) {
        replaced = std::exchange(lane->waiting, std::nullopt);
        return false;
      }
    }
    return true;
  }

  void Withdraw(Lane& lane) {
    std::optional<Lookup> withdrawn;
    std::lock_guard<std::mutex> lock(mutex_);
    withdrawn.swap(lane.waiting);
  }

 private:
  void Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!line_.empty()) {
      std::shared_ptr<Lane> lane = std::move(line_.front());
      line_.pop_front();
      lane->in_line = false;
      std::optional<Lookup> lookup;
      lookup.swap(lane->waiting);
      const bool runs = lookup.has_value();
      if (runs) ++busy_;
      lock.unlock();
      if (runs) {
        // A copy per lookup, as a resolver with state of its own expects.
        const Resolver resolver = lane->resolver;
        try {
          lookup->deliver(Resolve(resolver, lookup->host, lookup->port));
        } catch (...) {
          // Out of memory while posting; the socket is left to its time-out.
        }
      }
      // The socket may be gone; its resolver's captures end here, unlocked.
      lookup.reset();
      lane.reset();
      lock.lock();
      if (runs) --busy_;
    }
    --threads_;
  }

  std::mutex mutex_;
  std::deque<std::shared_ptr<Lane>> line_;
  size_t threads_ = 0;
  size_t busy_ = 0;
};

}  // namespace

Resolution ResolveWithGetaddrinfo(const std::string& host, int port) {
  Resolution resolution;
  if (host.find('\0') != std::string::npos) return resolution;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* list = nullptr;
  const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (rc != 0) {
    if (rc == EAI_AGAIN) {
      resolution.error_number = kSocketTryAgain;
      resolution.error_description = gai_strerror(rc);
    } else if (rc != EAI_NONAME && rc != EAI_FAIL
#ifdef EAI_NODATA
               && rc != EAI_NODATA
#endif
    ) {
      resolution.error_description = gai_strerror(rc);
    }
    return resolution;
  }
  for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_addr == nullptr || entry->ai_addrlen > sizeof(sockaddr_storage)) continue;
    SocketAddress address;
    std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
    address.length = static_cast<socklen_t>(entry->ai_addrlen);
    resolution.addresses.push_back(address);
  }
  freeaddrinfo(list);
  return resolution;
}

// Everything the loop's callbacks touch lives here. They hold it through a
// weak reference, lock it for the length of their work, and after every call
// into SocketEvents compare the generation they started with: any Close,
// Connect, failure or destruction of the component advances it, and the
// callback then returns without touching anything else.
class PosixSocket::Impl : public std::enable_shared_from_this<PosixSocket::Impl> {
 public:
  Impl(EventLoop& loop, Resolver resolver, size_t send_queue_limit)
      : loop_(loop),
        lane_(std::make_shared<ResolverPool::Lane>(resolver ? std::move(resolver) : ResolveWithGetaddrinfo)),
        send_queue_limit_(send_queue_limit) {}
  ~Impl() { CloseDescriptor(); }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  SocketEvents* events = nullptr;
  int32_t state = kSocketClosed;

  void Connect(const std::string& host, int port) {
    Close();
    if (auto numeric = NumericAddress(host, port)) {
      addresses_.push_back(*numeric);
      state = kSocketConnecting;
      ConnectToNextAddress();
      return;
    }
    state = kSocketResolvingHost;
    StartLookup(host, port);
  }

  void Close() {
    ++generation_;
    ResolverPool::Instance().Withdraw(*lane_);
    CloseDescriptor();
    in_.Release();
    out_.clear();
    out_head_ = 0;
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
    // Checked before anything is written, so a refused request leaves no trace
    // on the wire; one larger than the limit is refused even on an idle socket.
    const size_t queued = out_.size() - out_head_;
    if (bytes.size() > send_queue_limit_ || queued > send_queue_limit_ - bytes.size()) {
      throw Failure(kSocketNoBufferSpace, kSocketSource,
                    "No buffer space is available: the peer is not reading and the send queue is full");
    }
    if (queued == 0) {
      size_t sent = 0;
      if (const int error = Write(bytes.data(), bytes.size(), sent)) {
        // The caller learns it now; the host learns the connection is gone
        // from the error event, as it would from a failure noticed by the loop.
        const uint64_t generation = FailQuietly();
        loop_.Post([weak = weak_from_this(), generation, error] {
          const auto self = weak.lock();
          if (self && self->generation_ == generation) self->FireError(WinsockNumber(error), ErrorText(error));
        });
        throw Failure(AutomationError(static_cast<uint32_t>(WinsockNumber(error))), kSocketSource, ErrorText(error));
      }
      bytes = bytes.subspan(sent);
      if (bytes.empty()) return;
    }
    out_.insert(out_.end(), bytes.begin(), bytes.end());
    loop_.Modify(watch_, POLLIN | POLLOUT);
  }

  size_t Buffered() const { return in_.Size(); }

  void GetData(std::span<uint8_t> into) {
    if (into.size() > in_.Size()) {
      throw Failure(kSocketInvalidArgument, kSocketSource, "Fewer bytes received than requested");
    }
    in_.Take(into);
  }

 private:
  void CloseDescriptor() {
    if (watch_ != 0) loop_.Unwatch(watch_);
    watch_ = 0;
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  // Ends the connection without an event; returns the generation an event
  // about it must still find.
  uint64_t FailQuietly() {
    CloseDescriptor();
    out_.clear();
    out_head_ = 0;
    addresses_.clear();
    state = kSocketError;
    return ++generation_;
  }

  void Fail(int32_t number, const std::string& description) {
    FailQuietly();
    FireError(number, description);
  }

  void FireError(int32_t number, const std::string& description) {
    if (events != nullptr) events->OnSocketError(number, FromUtf8(description));
  }

  // Posts the failure: Connect must not fire it from inside the call.
  void PostFailure(int32_t number, std::string description) {
    loop_.Post([weak = weak_from_this(), generation = generation_, number, description = std::move(description)] {
      const auto self = weak.lock();
      if (self && self->generation_ == generation) self->Fail(number, description);
    });
  }

  void StartLookup(const std::string& host, int port) {
    // The lookup sees only copies, a weak reference and a poster that
    // outlives the loop, so it may finish after the socket and the loop are gone.
    auto deliver = [post = loop_.RemotePoster(), weak = weak_from_this(), generation = generation_](
                       Resolution resolution) {
      post([weak, generation, resolution = std::move(resolution)]() mutable {
        if (const auto self = weak.lock()) self->OnResolved(generation, std::move(resolution));
      });
    };
    if (!ResolverPool::Instance().Submit(lane_, {host, port, deliver})) {
      PostFailure(WinsockNumber(ENOBUFS), "No thread could be started for the name lookup");
    }
  }

  void OnResolved(uint64_t generation, Resolution resolution) {
    if (generation != generation_ || state != kSocketResolvingHost) return;
    if (resolution.addresses.empty()) {
      Fail(resolution.error_number, resolution.error_description);
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
    int error = EADDRNOTAVAIL;
    while (next_address_ < addresses_.size()) {
      const SocketAddress& address = addresses_[next_address_++];
      const int fd = OpenStreamSocket(address.storage.ss_family);
      if (fd < 0) {
        error = errno;
        continue;
      }
      if (connect(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) == 0 ||
          errno == EINPROGRESS || errno == EINTR) {
        fd_ = fd;
        // Writable means connected or failed; the loop tells which.
        watch_ = loop_.Watch(fd_, POLLOUT, [weak = weak_from_this()](short revents) {
          if (const auto self = weak.lock()) self->OnReady(revents);
        });
        return;
      }
      error = errno;
      close(fd);
    }
    PostFailure(WinsockNumber(error), ErrorText(error));
  }

  void OnReady(short revents) {
    if (state == kSocketConnecting) {
      OnConnectOutcome();
      return;
    }
    // Reading first: what the peer sent before it went away is delivered
    // before a failed write can end the connection.
    const uint64_t generation = generation_;
    if (state == kSocketConnected && (revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      Receive(revents);
      if (generation != generation_) return;
    }
    if (out_head_ != out_.size() && (revents & (POLLOUT | POLLHUP | POLLERR)) != 0) Flush();
  }

  void OnConnectOutcome() {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) {
      CloseDescriptor();
      if (next_address_ < addresses_.size()) {
        ConnectToNextAddress();
      } else {
        Fail(WinsockNumber(error), ErrorText(error));
      }
      return;
    }
    state = kSocketConnected;
    addresses_.clear();
    loop_.Modify(watch_, POLLIN);
    if (events != nullptr) events->OnSocketConnect();
  }

  // Sends what the kernel takes now; returns 0 or the errno of a hard failure.
  int Write(const uint8_t* data, size_t size, size_t& sent) {
    while (sent < size) {
      const ssize_t n = send(fd_, data + sent, size - sent, kSendFlags);
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

  void Flush() {
    size_t sent = 0;
    const int error = Write(out_.data() + out_head_, out_.size() - out_head_, sent);
    out_head_ += sent;
    Compact(out_, out_head_);
    if (error != 0) {
      if (state == kSocketClosing) {
        // The peer has closed and the host has been told; what it did not
        // read is lost either way.
        out_.clear();
        out_head_ = 0;
        loop_.Modify(watch_, 0);
        return;
      }
      Fail(WinsockNumber(error), ErrorText(error));
      return;
    }
    if (out_head_ == out_.size()) loop_.Modify(watch_, state == kSocketConnected ? POLLIN : 0);
  }

  // Reads what is waiting, firing a data arrival after each read, until the
  // socket is empty: the host normally takes everything in its handler, so
  // the next read lands in the same, still cached, bytes of the block.
  void Receive(short revents) {
    const uint64_t generation = generation_;
    size_t received = 0;
    bool end_of_stream = false;
    int error = 0;
    while (received < kReadPerReadiness) {
      const std::span<uint8_t> room = in_.Room(kReadSize);
      const ssize_t n = recv(fd_, room.data(), kReadSize, 0);
      if (n > 0) {
        in_.Commit(static_cast<size_t>(n));
        received += static_cast<size_t>(n);
        // Data first, so a host reading in its handler sees every byte before
        // the close or the error.
        if (events != nullptr) {
          const size_t total = std::min<size_t>(in_.Size(), std::numeric_limits<int32_t>::max());
          events->OnSocketDataArrival(static_cast<int32_t>(total));
          if (generation != generation_) return;
        }
        // Level-triggered: a short read emptied the socket, and whatever lands
        // now raises the next readiness, so no read is spent learning EAGAIN.
        if (static_cast<size_t>(n) < kReadSize) return;
      } else if (n == 0) {
        end_of_stream = true;
        break;
      } else if (errno == EINTR) {
        continue;
      } else {
        if (!WouldBlock(errno)) error = errno;
        break;
      }
    }
    if (received == 0 && !end_of_stream && error == 0 && (revents & (POLLERR | POLLHUP)) != 0) {
      socklen_t length = sizeof error;
      if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
      if (error == 0) end_of_stream = true;
    }
    if (error != 0) {
      Fail(WinsockNumber(error), ErrorText(error));
    } else if (end_of_stream) {
      state = kSocketClosing;
      // Keep flushing what is queued; stop reading a finished stream.
      loop_.Modify(watch_, out_head_ == out_.size() ? 0 : POLLOUT);
      if (events != nullptr) events->OnSocketClose();
    }
  }

  EventLoop& loop_;
  const std::shared_ptr<ResolverPool::Lane> lane_;
  const size_t send_queue_limit_;
  uint64_t generation_ = 0;
  int fd_ = -1;
  EventLoop::Id watch_ = 0;
  std::vector<SocketAddress> addresses_;
  size_t next_address_ = 0;
  InboundBuffer in_;
  std::vector<uint8_t> out_;
  size_t out_head_ = 0;
};

PosixSocket::PosixSocket(EventLoop& loop, Resolver resolver, size_t send_queue_limit)
    // Not make_shared: a separate block is freed with the object, so a use
    // after destruction is a use after free that sanitizers can see.
    : impl_(new Impl(loop, std::move(resolver), send_queue_limit)) {}

PosixSocket::~PosixSocket() {
  impl_->events = nullptr;
  impl_->Close();
}

void PosixSocket::SetEvents(SocketEvents* events) { impl_->events = events; }

int32_t PosixSocket::State() const { return impl_->state; }

void PosixSocket::Connect(const Text& remote_host, int32_t remote_port) {
  if (remote_host.empty() || remote_port < 1 || remote_port > 65535) {
    throw Failure(kSocketInvalidArgument, kSocketSource, "Invalid argument");
  }
  impl_->Connect(ToUtf8(remote_host), remote_port);
}

void PosixSocket::Close() { impl_->Close(); }

void PosixSocket::SendData(std::span<const uint8_t> bytes) { impl_->SendData(bytes); }

int32_t PosixSocket::BytesReceived() const {
  return static_cast<int32_t>(std::min<size_t>(impl_->Buffered(), std::numeric_limits<int32_t>::max()));
}

void PosixSocket::GetData(std::span<uint8_t> into) { impl_->GetData(into); }

}  // namespace moravex
