// Winsock1 against a plain Winsock server on the loopback, in the same thread.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "components/system_text.h"
#include "components/winsock_socket.h"
#include "platform/failure.h"
#include "pump.h"

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
                    listen(listener, 4) == 0 && getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0;
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
  ExpectFailure([&] { socket->SendData(Bytes("x")); }, 0x800A0000u | 40006u);
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
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>((sent.size() + i) * 7 + (sent.size() + i) / 251);
    socket->SendData(Bytes(chunk));
    sent += chunk;
  }
  const size_t queued = socket->QueuedBytes();
  ASSERT_GT(queued, 0u);
  ExpectFailure([&] { socket->SendData(Bytes(std::string(kSendQueueLimit - queued + 1, 'x'))); },
                0x800A0000u | 10055u);
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

  ExpectFailure([&] { socket->Connect(u"", port); }, 0x800A0000u | 40014u);
  ExpectFailure([&] { socket->Connect(u"127.0.0.1", 65536); }, 0x800A0000u | 40014u);
  uint8_t one = 0;
  ExpectFailure([&] { socket->GetData({&one, 1}); }, 0x800A0000u | 40014u);
  socket->Close();
  ExpectFailure([&] { socket->SendData({&one, 1}); }, 0x800A0000u | 40006u);
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

}  // namespace
}  // namespace moravex::windows
