// Winsock1 against a plain Winsock server on the loopback, in the same thread.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "windows/components/system_text.h"
#include "windows/components/winsock_socket.h"
#include "native/lookup_threads.h"
#include "platform/failure.h"
#include "platform/socket_component.h"
#include "tests/windows/pump.h"

namespace moravex::windows {
namespace {

using test::PumpFor;
using test::PumpUntil;

// The test's own end of the connection, on plain Winsock.
struct Server {
  SOCKET listener = INVALID_SOCKET;
  SOCKET peer = INVALID_SOCKET;
  int32_t port = 0;

  ~Server() { Close(); }
  // A small receive buffer (inherited by the accepted socket) makes big sends wait.
  bool Listen(int family, int receive_buffer = 0) {
    sockaddr_in6 address{};  // also holds the IPv4 loopback
    address.sin6_family = static_cast<ADDRESS_FAMILY>(family);
    int length = sizeof address;
    if (family == AF_INET6) {
      address.sin6_addr = in6addr_loopback;
    } else {
      reinterpret_cast<sockaddr_in&>(address).sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      length = sizeof(sockaddr_in);
    }
    listener = socket(family, SOCK_STREAM, IPPROTO_TCP);
    if (receive_buffer > 0) setsockopt(listener, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&receive_buffer), 4);
    const bool ok = listener != INVALID_SOCKET && bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                    listen(listener, 4) == 0 &&
                    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    port = ntohs(address.sin6_port);
    return ok;
  }
  void Accept() {
    if (peer != INVALID_SOCKET) closesocket(peer);
    peer = accept(listener, nullptr, nullptr);
    u_long on = 1;
    ioctlsocket(peer, FIONBIO, &on);
  }
  void Send(const std::string& bytes) { send(peer, bytes.data(), static_cast<int>(bytes.size()), 0); }
  std::string Receive(size_t most = 64 * 1024) {
    std::string bytes(most, '\0');
    bytes.resize(static_cast<size_t>(std::max(0, recv(peer, bytes.data(), static_cast<int>(most), 0))));
    return bytes;
  }
  void Close() {
    for (SOCKET* s : {&peer, &listener}) {
      if (*s != INVALID_SOCKET) closesocket(*s);
      *s = INVALID_SOCKET;
    }
  }
};

struct Journal : SocketEvents {
  std::vector<std::string> log;
  std::string data;
  int32_t error = 0;
  Text description;
  SocketComponent* socket = nullptr;
  std::function<void()> after_data;

  void OnSocketConnect() override { log.push_back("connect"); }
  void OnSocketClose() override { log.push_back("close"); }
  void OnSocketDataArrival(int32_t) override {
    log.push_back("data");
    std::string chunk(static_cast<size_t>(socket->BytesReceived()), '\0');
    socket->GetData({reinterpret_cast<uint8_t*>(chunk.data()), chunk.size()});
    data += chunk;
    if (after_data) after_data();
  }
  void OnSocketError(int32_t number, const Text& text) override {
    log.push_back("error");
    error = number;
    description = text;
  }
  int Count(const std::string& what) const { return static_cast<int>(std::count(log.begin(), log.end(), what)); }
};

template <class Call>
void ExpectFailure(Call call, uint32_t number) {
  try {
    call();
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.Number(), static_cast<int32_t>(number));
    EXPECT_EQ(failure.Source(), "Winsock1");
    EXPECT_FALSE(failure.Description().empty());
  }
}

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

class SocketTest : public testing::Test {
 protected:
  void SetUp() override {
    journal.socket = socket.get();
    socket->SetEvents(&journal);
  }
  bool ConnectTo(const Text& host, int32_t port) {
    const int before = journal.Count("connect");
    socket->Connect(host, port);
    return PumpUntil([&] { return journal.Count("connect") > before || journal.Count("error") > 0; }) &&
           socket->State() == kSocketConnected;
  }

  Journal journal;
  std::unique_ptr<WinsockSocket> socket = std::make_unique<WinsockSocket>(MessageWindow::Create());
  Server server;
};

TEST_F(SocketTest, ExchangesDataAndDeliversItBeforeTheOnlyCloseEvent) {
  ASSERT_TRUE(server.Listen(AF_INET));
  socket->Connect(u"127.0.0.1", server.port);
  EXPECT_EQ(socket->State(), kSocketConnecting);
  ASSERT_TRUE(PumpUntil([&] { return !journal.log.empty(); }));
  EXPECT_EQ(socket->State(), kSocketConnected);
  server.Accept();
  socket->SendData(Bytes("ping"));
  std::string got;
  EXPECT_TRUE(PumpUntil([&] { return got.size() >= 4; }, 5000, [&] { got += server.Receive(); }));
  EXPECT_EQ(got, "ping");

  // Data and the peer's FIN arrive together.
  server.Send("hello");
  server.Send(std::string("b\0e", 3));
  server.Close();
  ASSERT_TRUE(PumpUntil([&] { return journal.Count("close") > 0; }));
  PumpFor(100);
  EXPECT_EQ(journal.data, std::string("hellob\0e", 8));
  EXPECT_EQ(journal.Count("close"), 1);
  EXPECT_EQ(journal.log.back(), "close");
  EXPECT_EQ(journal.Count("error"), 0);
  EXPECT_EQ(socket->State(), kSocketClosing);
  ExpectFailure([&] { socket->SendData(Bytes("x")); }, kSocketWrongState);
}

TEST_F(SocketTest, AWholeMaximalMessageWaitingIsDeliveredByOneNotification) {
  // Header and largest payload, all waiting before the window looks, to a
  // socket whose owner reads that much at a time, as a control does.
  std::string message(6 + 100000, '\0');
  socket = std::make_unique<WinsockSocket>(MessageWindow::Create(), NameLookup{}, SocketSizes{.read = message.size()});
  SetUp();
  ASSERT_TRUE(server.Listen(AF_INET));
  ASSERT_TRUE(ConnectTo(u"127.0.0.1", server.port));
  server.Accept();
  for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<char>(i * 7);
  for (size_t sent = 0; sent < message.size();) {
    const int n = send(server.peer, message.data() + sent, static_cast<int>(message.size() - sent), 0);
    if (n > 0)
      sent += static_cast<size_t>(n);
    else
      ASSERT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  }
  Sleep(200);
  ASSERT_TRUE(PumpUntil([&] { return journal.data.size() >= message.size(); }));
  PumpFor(100);
  EXPECT_EQ(journal.data, message);
  EXPECT_EQ(journal.Count("data"), 1);
}

TEST_F(SocketTest, BigSendsQueueWithinTheBoundAndFlushInOrder) {
  ASSERT_TRUE(server.Listen(AF_INET, 4096));
  ASSERT_TRUE(ConnectTo(u"127.0.0.1", server.port));
  server.Accept();
  // 1 MB sends until the kernel's buffers (which grow on their own) are full
  // and one of them has to queue.
  std::string sent;
  while (socket->QueuedBytes() == 0 && sent.size() < 3 * kSendQueueLimit) {
    std::string chunk(1 << 20, '\0');
    for (size_t i = 0; i < chunk.size(); ++i)
      chunk[i] = static_cast<char>((sent.size() + i) * 7 + (sent.size() + i) / 251);
    socket->SendData(Bytes(chunk));
    sent += chunk;
  }
  const size_t queued = socket->QueuedBytes();
  ASSERT_GT(queued, 0u);
  ExpectFailure([&] { socket->SendData(Bytes(std::string(kSendQueueLimit - queued + 1, 'x'))); }, kSocketNoBufferSpace);
  EXPECT_EQ(socket->QueuedBytes(), queued);

  std::string got;
  EXPECT_TRUE(PumpUntil([&] { return got.size() >= sent.size(); }, 60000, [&] { got += server.Receive(16 * 1024); }));
  EXPECT_TRUE(got == sent) << got.size() << " of " << sent.size();
  EXPECT_EQ(socket->QueuedBytes(), 0u);
}

TEST_F(SocketTest, RefusedConnectAndBadCallsReportWinsockNumbers) {
  ASSERT_TRUE(server.Listen(AF_INET));
  const int32_t port = server.port;
  server.Close();
  socket->Connect(u"127.0.0.1", port);
  ASSERT_TRUE(PumpUntil([&] { return journal.Count("error") > 0; }));
  EXPECT_EQ(journal.error, 10061);
  EXPECT_EQ(journal.description, SystemMessage(10061, "none"));
  EXPECT_NE(journal.description, u"none");
  EXPECT_EQ(socket->State(), kSocketError);

  ExpectFailure([&] { socket->Connect(u"", port); }, kSocketInvalidArgument);
  ExpectFailure([&] { socket->Connect(u"127.0.0.1", 65536); }, kSocketInvalidArgument);
  uint8_t one = 0;
  ExpectFailure([&] { socket->GetData({&one, 1}); }, kSocketInvalidArgument);
  socket->Close();
  ExpectFailure([&] { socket->SendData({&one, 1}); }, kSocketWrongState);
}

TEST_F(SocketTest, NothingArrivesAfterCloseOrFromADestroyedSocket) {
  ASSERT_TRUE(server.Listen(AF_INET));
  ASSERT_TRUE(ConnectTo(u"127.0.0.1", server.port));
  server.Accept();
  server.Send("late");
  Sleep(100);  // its FD_READ is queued now
  socket->Close();
  EXPECT_EQ(socket->State(), kSocketClosed);
  shutdown(server.peer, SD_BOTH);
  PumpFor(200);
  EXPECT_EQ(journal.log, std::vector<std::string>{"connect"});

  ASSERT_TRUE(ConnectTo(u"127.0.0.1", server.port));
  server.Accept();
  journal.after_data = [&] { socket.reset(); };
  server.Send("x");
  server.Close();
  EXPECT_TRUE(PumpUntil([&] { return socket == nullptr; }));
  PumpFor(200);
  EXPECT_EQ(journal.log, (std::vector<std::string>{"connect", "connect", "data"}));
}

TEST_F(SocketTest, ConnectsToAnIpv6Literal) {
  if (!server.Listen(AF_INET6)) GTEST_SKIP() << "no IPv6 loopback here (error " << WSAGetLastError() << ")";
  EXPECT_TRUE(ConnectTo(u"::1", server.port));
  EXPECT_TRUE(ConnectTo(u"[::1]", server.port));
}

TEST_F(SocketTest, LooksNamesUpOffTheThreadAndDropsAbandonedLookups) {
  ASSERT_TRUE(server.Listen(AF_INET));
  socket->Connect(u"localhost", server.port);
  EXPECT_EQ(socket->State(), kSocketResolvingHost);
  socket->Close();
  PumpFor(300);
  EXPECT_TRUE(journal.log.empty());
  for (int i = 0; i < 5; ++i) socket->Connect(u"localhost", server.port);
  EXPECT_TRUE(PumpUntil([&] { return !journal.log.empty(); }));
  PumpFor(200);
  EXPECT_EQ(journal.log, std::vector<std::string>{"connect"});
  EXPECT_EQ(socket->State(), kSocketConnected);
}

// Two answers and the FIN in one segment; the handler of the first data
// arrival takes the first answer and pumps messages, as a host does inside an
// event. The close must wait for the second answer to be read.
TEST_F(SocketTest, CloseSeenWhileAHandlerPumpsWaitsForTheUnreadBytes) {
  struct Pumping : SocketEvents {
    SocketComponent* socket = nullptr;
    std::vector<std::string> log;
    std::vector<std::string> answers;
    bool close_inside = false;
    void OnSocketConnect() override { log.push_back("connect"); }
    void OnSocketClose() override { log.push_back("close"); }
    void OnSocketError(int32_t, const Text&) override { log.push_back("error"); }
    void OnSocketDataArrival(int32_t) override {
      log.push_back("data");
      if (!answers.empty()) return;
      answers.push_back(Take(5));
      PumpFor(200);  // FD_CLOSE is dispatched in here
      close_inside = log.back() != "data";
      answers.push_back(Take(static_cast<size_t>(socket->BytesReceived())));
    }
    std::string Take(size_t n) {
      std::string bytes(n, '\0');
      socket->GetData({reinterpret_cast<uint8_t*>(bytes.data()), n});
      return bytes;
    }
  } pumping;
  pumping.socket = socket.get();
  socket->SetEvents(&pumping);
  ASSERT_TRUE(server.Listen(AF_INET));
  socket->Connect(u"127.0.0.1", server.port);
  ASSERT_TRUE(PumpUntil([&] { return !pumping.log.empty(); }));
  server.Accept();
  server.Send("firstsecond");
  shutdown(server.peer, SD_SEND);
  Sleep(100);  // both are waiting before the first notification runs
  ASSERT_TRUE(PumpUntil([&] { return pumping.log.back() == "close"; }));
  PumpFor(100);
  EXPECT_FALSE(pumping.close_inside);
  EXPECT_EQ(pumping.answers, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(pumping.log, (std::vector<std::string>{"connect", "data", "close"}));
}

// The bound is on what waits: 10 MiB go out on an idle connection; while more
// than the bound waits, the next send is refused whole and says the limit.
TEST_F(SocketTest, LargeSendOnAnIdleConnectionIsTakenAndTheBoundAppliesToWhatWaits) {
  ASSERT_TRUE(server.Listen(AF_INET, 4096));
  ASSERT_TRUE(ConnectTo(u"127.0.0.1", server.port));
  server.Accept();
  std::string big(10 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
  socket->SendData(Bytes(big));
  ASSERT_GT(socket->QueuedBytes(), kSendQueueLimit);
  try {
    socket->SendData(Bytes("x"));
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.Number(), kSocketNoBufferSpace);
    EXPECT_EQ(failure.Source(), "Winsock1");
    EXPECT_EQ(failure.Description(),
              "No buffer space is available: the peer is not reading and the send queue is full (4 MiB)");
  }
  std::string got;
  EXPECT_TRUE(PumpUntil([&] { return got.size() >= big.size(); }, 60000, [&] { got += server.Receive(256 * 1024); }));
  EXPECT_TRUE(got == big) << got.size() << " of " << big.size();
  EXPECT_EQ(journal.log, std::vector<std::string>{"connect"});
}

// Names that hang until the test lets them go; every other name is looked up.
struct HangingLookup {
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<int> hanging{0};
  ~HangingLookup() {
    SetEvent(release);
    PumpUntil([&] { return hanging == 0 && LookupThreadsAlive() == 0; });
    CloseHandle(release);
  }
  NameLookup Lookup() {
    return [this](const Text& host, int port) {
      if (host == u"hung.example") {
        ++hanging;
        WaitForSingleObject(release, 10000);
        --hanging;
      }
      return LookUpWithGetAddrInfo(host == u"hung.example" ? Text(u"localhost") : host, port);
    };
  }
};

TEST_F(SocketTest, HungLookupDoesNotDelayALaterConnect) {
  HangingLookup names;
  socket = std::make_unique<WinsockSocket>(MessageWindow::Create(), names.Lookup());
  journal.socket = socket.get();
  socket->SetEvents(&journal);
  ASSERT_TRUE(server.Listen(AF_INET));
  socket->Connect(u"hung.example", server.port);
  PumpFor(200);
  const ULONGLONG second = GetTickCount64();
  socket->Connect(u"localhost", server.port);
  ASSERT_TRUE(PumpUntil([&] { return !journal.log.empty(); }, 3000));
  EXPECT_LT(GetTickCount64() - second, 1000u);
  EXPECT_EQ(names.hanging, 1);
  SetEvent(names.release);  // the hung answer comes late and is dropped
  EXPECT_TRUE(PumpUntil([&] { return names.hanging == 0; }));
  PumpFor(200);
  EXPECT_EQ(journal.log, std::vector<std::string>{"connect"});
  EXPECT_EQ(socket->State(), kSocketConnected);
}

// Connects to a dead name, from many sockets and again and again from one,
// never hold more than the process's lookup threads; once they come free,
// the newest request of the socket still asking runs and connects.
TEST_F(SocketTest, LookupsOfADeadNameHoldAtMostTheProcesssThreads) {
  HangingLookup names;
  ASSERT_TRUE(server.Listen(AF_INET));
  std::vector<std::unique_ptr<WinsockSocket>> abandoned;
  for (int i = 0; i < 20; ++i) {
    abandoned.push_back(std::make_unique<WinsockSocket>(MessageWindow::Create(), names.Lookup()));
    abandoned.back()->Connect(u"hung.example", server.port);
  }
  socket = std::make_unique<WinsockSocket>(MessageWindow::Create(), names.Lookup());
  journal.socket = socket.get();
  socket->SetEvents(&journal);
  for (int i = 0; i < 20; ++i) socket->Connect(u"hung.example", server.port);
  PumpFor(300);
  EXPECT_EQ(names.hanging, static_cast<int>(kLookupThreadLimit));
  EXPECT_EQ(LookupThreadsAlive(), kLookupThreadLimit);
  abandoned.clear();
  SetEvent(names.release);
  EXPECT_TRUE(PumpUntil([&] { return !journal.log.empty(); }));
  EXPECT_TRUE(PumpUntil([&] { return LookupThreadsAlive() == 0; }));
  EXPECT_EQ(journal.log, std::vector<std::string>{"connect"});
}

}  // namespace
}  // namespace moravex::windows
