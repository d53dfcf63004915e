#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/failure.h"
#include "posix/event_loop.h"
#include "posix/posix_components.h"
#include "posix/posix_socket.h"

namespace moravex {
namespace {

using std::chrono::milliseconds;

// A listening socket on 127.0.0.1 with a port of the kernel's choosing.
class Listener {
 public:
  explicit Listener(int receive_buffer = 0) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    // Inherited by accepted sockets: a small window makes the sender queue.
    if (receive_buffer > 0) setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(fd_, 8), 0);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~Listener() { Close(); }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  int Port() const { return port_; }
  // The connection the kernel has already completed.
  int Accept() const { return accept(fd_, nullptr, nullptr); }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// The server end of an accepted connection.
class Peer {
 public:
  explicit Peer(int fd = -1) : fd_(fd) {}
  ~Peer() { Close(); }
  Peer(const Peer&) = delete;
  Peer(Peer&& other) noexcept { std::swap(fd_, other.fd_); }
  Peer& operator=(Peer&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }

  void Send(const std::string& bytes) const {
    EXPECT_EQ(send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
  }
  // Returns false once the stream has ended.
  bool ReadAvailable(std::vector<uint8_t>& into) const {
    uint8_t chunk[65536];
    for (;;) {
      const ssize_t n = recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
      if (n == 0) return false;
      if (n < 0) return true;
      into.insert(into.end(), chunk, chunk + n);
    }
  }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  // Closes with a reset instead of an orderly shutdown.
  void Reset() {
    const linger abort{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    Close();
  }

 private:
  int fd_ = -1;
};

class RecordingEvents final : public SocketEvents {
 public:
  void OnSocketConnect() override { Record("connect"); }
  void OnSocketClose() override { Record("close"); }
  void OnSocketDataArrival(int32_t bytes_total) override { Record("data " + std::to_string(bytes_total)); }
  void OnSocketError(int32_t number, const Text& description) override {
    error_number = number;
    Record("error " + ToUtf8(description));
  }

  std::vector<std::string> log;
  int32_t error_number = 0;
  // Runs inside the event, after it is logged.
  std::function<void(const std::string&)> then;

 private:
  void Record(const std::string& entry) {
    log.push_back(entry);
    if (then) then(entry);
  }
};

// Holds a lookup thread until the test lets it go (or two seconds pass).
struct Gate {
  void Open() {
    std::lock_guard<std::mutex> lock(mutex);
    open = true;
    changed.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, std::chrono::seconds(2), [&] { return open; });
  }
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
};

PeerAddress Loopback(int port) {
  sockaddr_in v4{};
  v4.sin_family = AF_INET;
  v4.sin_port = htons(static_cast<uint16_t>(port));
  v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  PeerAddress address;
  std::memcpy(address.bytes.data(), &v4, sizeof v4);
  address.length = sizeof v4;
  return address;
}

int ClosedPort() {
  Listener gone;
  return gone.Port();
}

// Waits for a condition other threads bring about, without running the loop.
bool WaitFor(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return true;
}

class PosixSocketTest : public ::testing::Test {
 protected:
  void SetUp() override { UseLookup({}); }

  void UseLookup(NameLookup lookup) {
    socket_ = MakePosixSocket(loop_, std::move(lookup));
    socket_->SetEvents(&events_);
  }

  bool RunUntilLogged(size_t entries) {
    return loop_.RunUntil([&] { return events_.log.size() >= entries; }, milliseconds(3000));
  }

  // Connects to listener_, expecting exactly one more event, and accepts the
  // server end into peer_.
  void ConnectToListener() {
    const size_t before = events_.log.size();
    socket_->Connect(u"127.0.0.1", listener_.Port());
    ASSERT_TRUE(RunUntilLogged(before + 1));
    ASSERT_EQ(events_.log.size(), before + 1);
    ASSERT_EQ(events_.log.back(), "connect");
    peer_ = Peer(listener_.Accept());
  }

  EventLoop loop_;
  Listener listener_{16 * 1024};
  Peer peer_;
  RecordingEvents events_;
  std::unique_ptr<SocketComponent> socket_;
};

void ExpectFailure(const std::function<void()>& call, int32_t number, const std::string& description) {
  try {
    call();
    ADD_FAILURE() << "no failure; expected " << description;
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.Number(), number);
    EXPECT_EQ(failure.Source(), "Winsock1");
    EXPECT_EQ(failure.Description(), description);
  }
}

TEST_F(PosixSocketTest, ConnectsFromTheLoopAndNotFromInsideTheCall) {
  socket_->Connect(u"127.0.0.1", listener_.Port());
  EXPECT_EQ(socket_->State(), kSocketConnecting);
  EXPECT_TRUE(events_.log.empty());
  ConnectToListener();  // a second Connect abandons the first attempt
  EXPECT_EQ(socket_->State(), kSocketConnected);
}

TEST_F(PosixSocketTest, RefusesBadArgumentsAndWrongStateAtOnce) {
  for (const int port : {0, -1, 65536}) {
    ExpectFailure([&] { socket_->Connect(u"127.0.0.1", port); }, kSocketInvalidArgument, "Invalid argument");
  }
  ExpectFailure([&] { socket_->Connect(u"", 80); }, kSocketInvalidArgument, "Invalid argument");
  EXPECT_EQ(socket_->State(), kSocketClosed);
  const uint8_t byte = 1;
  ExpectFailure(
      [&] {
        socket_->SendData({&byte, 1});
      },
      kSocketWrongState, "Wrong protocol or connection state for the requested transaction or request");
  socket_->Close();  // harmless when closed
  loop_.RunFor(milliseconds(10));
  EXPECT_TRUE(events_.log.empty());
}

TEST_F(PosixSocketTest, RefusedConnectionIsReportedFromTheLoop) {
  socket_->Connect(u"127.0.0.1", ClosedPort());
  EXPECT_TRUE(events_.log.empty());
  EXPECT_NE(socket_->State(), kSocketError);
  ASSERT_TRUE(RunUntilLogged(1));
  EXPECT_EQ(events_.log, std::vector<std::string>{"error Connection refused"});
  EXPECT_EQ(events_.error_number, 10061);
  EXPECT_EQ(socket_->State(), kSocketError);
}

TEST_F(PosixSocketTest, FailedLookupIsReportedFromTheLoop) {
  UseLookup([](const Text&, int) { return LookupOutcome{}; });
  socket_->Connect(u"chart.invalid", 4000);
  EXPECT_EQ(socket_->State(), kSocketResolvingHost);
  EXPECT_TRUE(events_.log.empty());
  ASSERT_TRUE(RunUntilLogged(1));
  EXPECT_EQ(events_.log, std::vector<std::string>{"error Host not found"});
  EXPECT_EQ(events_.error_number, kSocketHostNotFound);
  EXPECT_EQ(socket_->State(), kSocketError);
}

TEST_F(PosixSocketTest, ResolvedAddressesAreTriedInOrder) {
  std::string asked;
  const int refused = ClosedPort();
  const int open = listener_.Port();
  UseLookup([&asked, refused, open](const Text& host, int port) {
    asked = ToUtf8(host) + ":" + std::to_string(port);
    LookupOutcome outcome;
    outcome.addresses = {Loopback(refused), Loopback(open)};
    return outcome;
  });
  socket_->Connect(u"chart.example", 4000);
  ASSERT_TRUE(RunUntilLogged(1));
  EXPECT_EQ(events_.log, std::vector<std::string>{"connect"});
  EXPECT_EQ(asked, "chart.example:4000");
}

TEST_F(PosixSocketTest, HangingLookupNeitherBlocksConnectNorOverridesLaterWork) {
  auto gate = std::make_shared<Gate>();
  const int refused = ClosedPort();
  UseLookup([gate, refused](const Text&, int) {
    gate->Wait();
    LookupOutcome outcome;
    outcome.addresses = {Loopback(refused)};
    return outcome;
  });
  const auto started = std::chrono::steady_clock::now();
  socket_->Connect(u"slow.example", 4000);
  EXPECT_LT(std::chrono::steady_clock::now() - started, milliseconds(200));
  EXPECT_EQ(socket_->State(), kSocketResolvingHost);
  socket_->Close();
  EXPECT_EQ(socket_->State(), kSocketClosed);
  socket_->Connect(u"slow.example", 4000);  // a second lookup, also overtaken
  ConnectToListener();

  // Both lookups now answer with a refused port; both answers are stale.
  gate->Open();
  ASSERT_TRUE(WaitFor([&] { return gate.use_count() == 2; }));  // only we and the socket hold it
  loop_.RunFor(milliseconds(10));
  EXPECT_EQ(events_.log, std::vector<std::string>{"connect"});
  EXPECT_EQ(socket_->State(), kSocketConnected);
}

TEST_F(PosixSocketTest, LookupThreadOutlivingSocketAndLoopTouchesNeither) {
  auto gate = std::make_shared<Gate>();
  const std::weak_ptr<Gate> watched = gate;
  auto loop = std::make_unique<EventLoop>();
  auto socket = MakePosixSocket(*loop, [gate](const Text&, int) {
    gate->Wait();
    return LookupOutcome{};
  });
  socket->SetEvents(&events_);
  socket->Connect(u"slow.example", 4000);
  socket.reset();
  loop.reset();
  gate->Open();
  gate.reset();
  // The thread's own copy of the lookup goes last, after its answer is posted.
  ASSERT_TRUE(WaitFor([&] { return watched.expired(); }));
  EXPECT_TRUE(events_.log.empty());
}

TEST_F(PosixSocketTest, DefaultLookupFindsLocalhost) {
  socket_->Connect(u"localhost", listener_.Port());
  ASSERT_TRUE(RunUntilLogged(1));
  EXPECT_EQ(events_.log, std::vector<std::string>{"connect"});
}

// The bound is on what waits: a send larger than it goes out on an idle
// connection, and only a send made while bytes wait can be refused.
TEST_F(PosixSocketTest, LargeSendOnAnIdleConnectionIsTakenAndArrivesInOrder) {
  ConnectToListener();
  std::vector<uint8_t> big(10 << 20);  // well past the bound; the peer reads nothing yet
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 31 + i / 251);
  socket_->SendData(big);
  // More than the bound is left waiting now: even a small send is refused whole.
  const std::vector<uint8_t> tail = {'e', 'n', 'd'};
  ExpectFailure([&] { socket_->SendData(tail); }, kSocketNoBufferSpace,
                "No buffer space is available: the peer is not reading and the send queue is full (4 MiB)");

  std::vector<uint8_t> received;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  bool tail_sent = false;
  while (received.size() < big.size() + tail.size() && std::chrono::steady_clock::now() < deadline) {
    loop_.RunOnce(milliseconds(1));
    peer_.ReadAvailable(received);
    if (!tail_sent && received.size() == big.size()) {
      socket_->SendData(tail);
      tail_sent = true;
    }
  }
  std::vector<uint8_t> expected = big;
  expected.insert(expected.end(), tail.begin(), tail.end());
  ASSERT_EQ(received.size(), expected.size());
  EXPECT_TRUE(received == expected);
  EXPECT_EQ(events_.log, std::vector<std::string>{"connect"});
}

TEST_F(PosixSocketTest, SendPastTheQueueLimitIsRefusedWholeAndTheConnectionGoesOn) {
  const size_t limit = 64 * 1024;
  socket_ = MakePosixSocket(loop_, {}, {.send_queue_limit = limit});
  socket_->SetEvents(&events_);
  ConnectToListener();
  // Requests of one repeated byte each, until the kernel and then the queue
  // are full; the peer reads nothing meanwhile.
  std::vector<uint8_t> accepted;
  std::vector<uint8_t> request(10000);
  bool refused = false;
  for (int i = 1; i < 100000 && !refused; ++i) {
    std::fill(request.begin(), request.end(), static_cast<uint8_t>(i));
    try {
      socket_->SendData(request);
      accepted.insert(accepted.end(), request.begin(), request.end());
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.Number(), kSocketNoBufferSpace);
      EXPECT_EQ(failure.Description(),
                "No buffer space is available: the peer is not reading and the send queue is full (64 KiB)");
      refused = true;
    }
  }
  ASSERT_TRUE(refused);
  EXPECT_EQ(socket_->State(), kSocketConnected);

  // The peer gets exactly the accepted requests: nothing of the refused one.
  std::vector<uint8_t> received;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (received.size() < accepted.size() && std::chrono::steady_clock::now() < deadline) {
    loop_.RunOnce(milliseconds(1));
    peer_.ReadAvailable(received);
  }
  loop_.RunFor(milliseconds(10));
  peer_.ReadAvailable(received);
  EXPECT_TRUE(received == accepted);

  socket_->SendData(request);  // drained, the socket takes requests again
  EXPECT_EQ(events_.log, std::vector<std::string>{"connect"});
}

TEST_F(PosixSocketTest, AbandonedLookupsOfAHangingNameHoldAtMostThePoolsThreads) {
  struct Hang {
    std::atomic<size_t> running{0};
    std::atomic<size_t> most{0};
    std::atomic<size_t> calls{0};
    Gate gate;
  };
  auto hang = std::make_shared<Hang>();
  const int open = listener_.Port();
  const NameLookup lookup = [hang, open](const Text&, int) {
    const size_t now = ++hang->running;
    ++hang->calls;
    for (size_t seen = hang->most; now > seen && !hang->most.compare_exchange_weak(seen, now);) {}
    hang->gate.Wait();
    --hang->running;
    LookupOutcome outcome;
    outcome.addresses = {Loopback(open)};
    return outcome;
  };
  // Sockets destroyed while their lookup hangs, until every pool thread hangs.
  for (size_t i = 0; i < kLookupThreadLimit; ++i) {
    auto socket = MakePosixSocket(loop_, lookup);
    socket->SetEvents(&events_);
    socket->Connect(u"slow.example", 4000);
    ASSERT_TRUE(WaitFor([&] { return hang->calls == i + 1; }));
    socket.reset();
    EXPECT_EQ(hang->running, i + 1);  // the destructor did not wait for it
  }
  // 96 more connects abandoned: sockets destroyed at once, and one socket that
  // asks again and again; its newest request is the only one left.
  for (int i = 0; i < 46; ++i) {
    auto socket = MakePosixSocket(loop_, lookup);
    socket->SetEvents(&events_);
    socket->Connect(u"slow.example", 4000);
  }
  UseLookup(lookup);
  for (int i = 0; i < 50; ++i) socket_->Connect(u"slow.example", 4000);
  std::this_thread::sleep_for(milliseconds(20));  // time for a stray thread to show
  EXPECT_EQ(hang->most, kLookupThreadLimit);
  EXPECT_EQ(hang->calls, kLookupThreadLimit);

  // The hung answers are all stale and dropped; then the newest lookup runs.
  hang->gate.Open();
  ASSERT_TRUE(RunUntilLogged(1));
  ASSERT_TRUE(WaitFor([&] { return hang->running == 0; }));
  loop_.RunFor(milliseconds(20));
  EXPECT_EQ(events_.log, std::vector<std::string>{"connect"});
  EXPECT_EQ(hang->calls, kLookupThreadLimit + 1);
  EXPECT_EQ(hang->most, kLookupThreadLimit);
}

// In each data arrival the host reads everything, all but the last few bytes
// (a partial frame), or nothing.
TEST_F(PosixSocketTest, LongStreamArrivesWholeAndInOrderHoweverTheHostReads) {
  for (const size_t left : {size_t{0}, size_t{999}, SIZE_MAX}) {
    SCOPED_TRACE(left);
    events_.log.clear();
    UseLookup({});
    ConnectToListener();
    std::vector<uint8_t> sent(3 << 20);
    for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i * 7 + i / 509);
    std::vector<uint8_t> got;
    bool reported_right = true;
    events_.then = [&](const std::string& entry) {
      if (!entry.starts_with("data")) return;
      const auto waiting = static_cast<size_t>(socket_->BytesReceived());
      reported_right = reported_right && entry == "data " + std::to_string(waiting);
      const size_t n = waiting - std::min(waiting, left);
      const size_t at = got.size();
      got.resize(at + n);
      socket_->GetData(std::span(got).subspan(at));
    };
    std::thread writer([&] {
      peer_.Send(std::string(sent.begin(), sent.end()));
      peer_.Close();
    });
    const bool closed = loop_.RunUntil([&] { return events_.log.back() == "close"; }, milliseconds(10000));
    writer.join();
    ASSERT_TRUE(closed);
    events_.then = nullptr;
    const size_t at = got.size();
    got.resize(at + static_cast<size_t>(socket_->BytesReceived()));
    socket_->GetData(std::span(got).subspan(at));
    EXPECT_TRUE(got == sent);
    EXPECT_TRUE(reported_right);
  }
}

TEST_F(PosixSocketTest, PeerCloseDeliversDataThenOneCloseEvent) {
  ConnectToListener();
  peer_.Send("hello");
  peer_.Close();
  ASSERT_TRUE(RunUntilLogged(3));
  loop_.RunFor(milliseconds(20));
  EXPECT_EQ(events_.log, (std::vector<std::string>{"connect", "data 5", "close"}));
  EXPECT_EQ(socket_->State(), kSocketClosing);

  // Unread bytes stay readable after the close event, exactly as many as asked.
  ASSERT_EQ(socket_->BytesReceived(), 5);
  std::vector<uint8_t> part(3);
  socket_->GetData(part);
  EXPECT_EQ(std::string(part.begin(), part.end()), "hel");
  ExpectFailure([&] { socket_->GetData(part); }, kSocketInvalidArgument, "Fewer bytes received than requested");
  EXPECT_EQ(socket_->BytesReceived(), 2);
  socket_->Close();
  EXPECT_EQ(socket_->State(), kSocketClosed);
  EXPECT_EQ(socket_->BytesReceived(), 0);
}

// Two answers and the FIN in one segment; the handler takes the first answer
// and runs the loop inside its data arrival, as a host pumping messages does.
// The close must wait for the bytes still unread, which stay readable.
TEST_F(PosixSocketTest, CloseFoundInsideADataArrivalWaitsUntilTheUnreadBytesAreRead) {
  ConnectToListener();
  std::vector<std::string> answers;
  bool nested_close = false;
  events_.then = [&](const std::string& entry) {
    if (!entry.starts_with("data") || !answers.empty()) return;
    std::string first(5, '\0');
    socket_->GetData({reinterpret_cast<uint8_t*>(first.data()), first.size()});
    answers.push_back(first);
    loop_.RunFor(milliseconds(50));
    nested_close = events_.log.back() == "close";
    EXPECT_EQ(socket_->State(), kSocketConnected);
    std::string second(static_cast<size_t>(socket_->BytesReceived()), '\0');
    socket_->GetData({reinterpret_cast<uint8_t*>(second.data()), second.size()});
    answers.push_back(second);
  };
  peer_.Send("firstsecond");
  peer_.Close();
  ASSERT_TRUE(loop_.RunUntil([&] { return events_.log.back() == "close"; }, milliseconds(3000)));
  loop_.RunFor(milliseconds(20));
  EXPECT_FALSE(nested_close);
  EXPECT_EQ(answers, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(events_.log, (std::vector<std::string>{"connect", "data 11", "close"}));
  EXPECT_EQ(socket_->State(), kSocketClosing);
}

// A lookup that hangs holds only its own thread: the next Connect on the same
// socket resolves and connects at once.
TEST_F(PosixSocketTest, HungLookupDoesNotDelayALaterConnect) {
  auto gate = std::make_shared<Gate>();
  const int open = listener_.Port();
  UseLookup([gate, open](const Text& host, int) {
    if (host == u"hung.example") gate->Wait();
    LookupOutcome outcome;
    outcome.addresses = {Loopback(open)};
    return outcome;
  });
  socket_->Connect(u"hung.example", 4000);
  loop_.RunFor(milliseconds(200));
  const auto second = std::chrono::steady_clock::now();
  socket_->Connect(u"fast.example", 4000);
  ASSERT_TRUE(RunUntilLogged(1));
  EXPECT_LT(std::chrono::steady_clock::now() - second, milliseconds(1000));
  EXPECT_EQ(events_.log, std::vector<std::string>{"connect"});
  gate->Open();  // the hung answer comes late and is dropped
  ASSERT_TRUE(WaitFor([&] { return gate.use_count() == 2; }));
  loop_.RunFor(milliseconds(20));
  EXPECT_EQ(events_.log, std::vector<std::string>{"connect"});
  EXPECT_EQ(socket_->State(), kSocketConnected);
}

TEST_F(PosixSocketTest, CloseInsideDataArrivalEndsEverything) {
  ConnectToListener();
  events_.then = [&](const std::string& entry) {
    if (entry.starts_with("data")) socket_->Close();
  };
  peer_.Send("abc");
  peer_.Close();
  ASSERT_TRUE(RunUntilLogged(2));
  loop_.RunFor(milliseconds(20));
  EXPECT_EQ(events_.log, (std::vector<std::string>{"connect", "data 3"}));
  EXPECT_EQ(socket_->State(), kSocketClosed);
  EXPECT_EQ(socket_->BytesReceived(), 0);
}

TEST_F(PosixSocketTest, HandlerMayDestroyTheSocketInsideEachOfItsEvents) {
  events_.then = [&](const std::string& entry) {
    if (entry == "connect") peer_ = Peer(listener_.Accept());
    if (entry != "connect") socket_.reset();
  };
  // Data arrival, with the close still to come.
  socket_->Connect(u"127.0.0.1", listener_.Port());
  ASSERT_TRUE(RunUntilLogged(1));
  peer_.Send("xyz");
  peer_.Close();
  ASSERT_TRUE(RunUntilLogged(2));
  loop_.RunFor(milliseconds(20));
  EXPECT_EQ(events_.log, (std::vector<std::string>{"connect", "data 3"}));
  EXPECT_EQ(socket_, nullptr);

  // Connect, then error.
  events_.log.clear();
  UseLookup({});
  events_.then = [&](const std::string&) { socket_.reset(); };
  socket_->Connect(u"127.0.0.1", listener_.Port());
  ASSERT_TRUE(RunUntilLogged(1));
  EXPECT_EQ(socket_, nullptr);
  UseLookup({});
  socket_->Connect(u"127.0.0.1", ClosedPort());
  ASSERT_TRUE(RunUntilLogged(2));
  loop_.RunFor(milliseconds(20));
  EXPECT_EQ(events_.log, (std::vector<std::string>{"connect", "error Connection refused"}));
  EXPECT_EQ(socket_, nullptr);
}

TEST_F(PosixSocketTest, ResetByPeerWhileConnectedIsAnErrorEvent) {
  ConnectToListener();
  peer_.Reset();
  ASSERT_TRUE(RunUntilLogged(2));
  EXPECT_EQ(events_.log, (std::vector<std::string>{"connect", "error Connection reset by peer"}));
  EXPECT_EQ(events_.error_number, 10054);
  EXPECT_EQ(socket_->State(), kSocketError);
}

TEST_F(PosixSocketTest, SendToADeadPeerThrowsAndLaterReportsTheLoss) {
  ConnectToListener();
  peer_.Reset();
  const uint8_t byte = 1;
  std::string description;
  for (int attempt = 0; attempt < 1000 && description.empty(); ++attempt) {
    try {
      socket_->SendData({&byte, 1});  // the reset may take a moment to land
      std::this_thread::sleep_for(milliseconds(1));
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.Source(), "Winsock1");
      description = failure.Description();
    }
  }
  EXPECT_TRUE(description == "Connection reset by peer" || description == "Broken pipe") << description;
  EXPECT_EQ(socket_->State(), kSocketError);
  EXPECT_EQ(events_.log, std::vector<std::string>{"connect"});
  ASSERT_TRUE(RunUntilLogged(2));
  loop_.RunFor(milliseconds(20));
  EXPECT_EQ(events_.log, (std::vector<std::string>{"connect", "error " + description}));
}

TEST_F(PosixSocketTest, ConnectWhileConnectedDropsTheOldConnection) {
  ConnectToListener();
  Peer first = std::move(peer_);
  ConnectToListener();  // expects exactly one more "connect"; the old one says nothing
  std::vector<uint8_t> ignored;
  EXPECT_FALSE(first.ReadAvailable(ignored));  // the old server end saw the stream end
}

}  // namespace
}  // namespace moravex
