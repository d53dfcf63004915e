// The simulator's server over loopback: several clients, reassembly, per-connection faults and closes.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <thread>

#include "tools/simulator/options.h"
#include "tools/simulator/server.h"

namespace moravex::sim {
namespace {

class SimulatorServerTest : public ::testing::Test {
 protected:
  void Start(const std::vector<std::string_view>& args = {}) {
    const CommandLine command_line = ParseCommandLine(args);
    ASSERT_EQ(command_line.error, "");
    ServerConfig config;
    config.market = MarketSettings{command_line.options.user, command_line.options.password, 1,
                                   SessionClock(ParseClock("2026-12-08 16:45:00"))};
    config.faults = command_line.options.faults;
    server_ = std::make_unique<Server>(std::move(config));
    ASSERT_EQ(server_->Listen(), "");
    ASSERT_EQ(::pipe(stop_pipe_), 0);
    thread_ = std::thread([this] { server_->Run(stop_pipe_[0]); });
  }

  void TearDown() override {
    if (thread_.joinable()) {
      const char byte = 1;
      EXPECT_EQ(::write(stop_pipe_[1], &byte, 1), 1);
      thread_.join();
      ::close(stop_pipe_[0]);
      ::close(stop_pipe_[1]);
    }
  }

  int Connect() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval timeout{5, 0};  // a hang fails the test instead of blocking the suite
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(server_->port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    fds_.push_back(fd);
    return fd;
  }

  static void SendAll(int fd, const Bytes& bytes) {
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
  }

  // Reads exactly `count` bytes; fewer when the server closes first.
  static Bytes Receive(int fd, std::size_t count) {
    Bytes bytes(count);
    std::size_t got = 0;
    while (got < count) {
      const ssize_t n = ::recv(fd, bytes.data() + got, count - got, 0);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
  }

  static Frame ReceiveFrame(int fd) {
    const Bytes header = Receive(fd, kHeaderSize);
    if (header.size() < kHeaderSize) return Frame{0xFF, 0xFF, {}};
    return Frame{header[0], header[1], Receive(fd, static_cast<std::size_t>(ReadInt32(header.data() + 2)))};
  }

  static bool ClosedByServer(int fd) {
    std::uint8_t byte;
    return ::recv(fd, &byte, 1, 0) == 0;
  }

  static std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

  static Bytes Debug(std::string_view text) {
    Bytes payload;
    AppendText(payload, text);
    return EncodeFrame(kDebugText, payload);
  }

  ~SimulatorServerTest() override {
    for (const int fd : fds_) ::close(fd);
  }

  std::unique_ptr<Server> server_;
  int stop_pipe_[2] = {-1, -1};
  std::thread thread_;
  std::vector<int> fds_;
};

TEST_F(SimulatorServerTest, ServesInterleavedClientsEachWithItsOwnReassembly) {
  Start();
  const int a = Connect();
  const int b = Connect();
  const Bytes request = EncodeHeader(kSessionDate, 0);
  SendAll(a, Bytes(request.begin(), request.begin() + 3));
  SendAll(b, Debug("from b"));
  const Frame b_answer = ReceiveFrame(b);
  EXPECT_EQ(b_answer.type, kDebugText);
  EXPECT_EQ(Text(b_answer.payload), "from b");
  SendAll(a, Bytes(request.begin() + 3, request.end()));
  const Frame a_answer = ReceiveFrame(a);
  EXPECT_EQ(a_answer.type, kSessionDate);
  EXPECT_EQ(a_answer.second_byte, 0);
  EXPECT_EQ(Text(a_answer.payload), "12/08/2026");
}

TEST_F(SimulatorServerTest, IgnoresUnknownTypesAndAnswersWhatFollows) {
  Start();
  const int fd = Connect();
  Bytes stream = EncodeFrame(200, Bytes{1, 2, 3});
  const Bytes time_request = EncodeHeader(kSessionTime, 0);
  stream.insert(stream.end(), time_request.begin(), time_request.end());
  SendAll(fd, stream);
  const Frame answer = ReceiveFrame(fd);
  EXPECT_EQ(answer.type, kSessionTime);
  EXPECT_EQ(Text(answer.payload), "16:45:00");
}

TEST_F(SimulatorServerTest, DelayedAnswerIsOvertakenByAPromptOne) {
  Start({"--delay", "200:4", "--chunk", "3:2"});
  const int fd = Connect();
  Bytes stream = EncodeHeader(kSessionTime, 0);
  const Bytes date_time = EncodeHeader(kSessionDateTime, 0);
  stream.insert(stream.end(), date_time.begin(), date_time.end());
  SendAll(fd, stream);
  const Frame first = ReceiveFrame(fd);
  EXPECT_EQ(first.type, kSessionDateTime);
  EXPECT_EQ(Text(first.payload), "12/08/2026 16:45:00");  // chunked, and still whole
  EXPECT_EQ(ReceiveFrame(fd).type, kSessionTime);
}

TEST_F(SimulatorServerTest, RuntimeCommandsChangeOnlyTheirConnection) {
  Start();
  const int a = Connect();
  const int b = Connect();
  SendAll(a, Debug("!sim empty 3"));
  EXPECT_EQ(Text(ReceiveFrame(a).payload), "!sim ok");
  SendAll(a, EncodeHeader(kSessionDate, 0));
  SendAll(b, EncodeHeader(kSessionDate, 0));
  EXPECT_TRUE(ReceiveFrame(a).payload.empty());
  EXPECT_EQ(Text(ReceiveFrame(b).payload), "12/08/2026");
  SendAll(a, Debug("!sim reset"));
  EXPECT_EQ(Text(ReceiveFrame(a).payload), "!sim ok");
  SendAll(a, EncodeHeader(kSessionDate, 0));
  EXPECT_EQ(Text(ReceiveFrame(a).payload), "12/08/2026");
}

TEST_F(SimulatorServerTest, CloseMidSendsHalfThePayloadThenCloses) {
  Start({"--close-mid", "11"});
  const int fd = Connect();
  SendAll(fd, EncodeFrame(kPreviousSupportAndResistance, Bytes{' ', ' ', ' ', 'I', 'B', 'M'}));
  const Bytes header = Receive(fd, kHeaderSize);
  ASSERT_EQ(header.size(), kHeaderSize);
  EXPECT_EQ(ReadInt32(header.data() + 2), 16);
  EXPECT_EQ(Receive(fd, 16).size(), 8u);
}

TEST_F(SimulatorServerTest, BogusLengthHeaderIsTheLastThingSent) {
  Start({"--bogus-length", "100001:3"});
  const int fd = Connect();
  SendAll(fd, EncodeHeader(kSessionDate, 0));
  EXPECT_EQ(Receive(fd, kHeaderSize), EncodeHeader(kSessionDate, 100001));
  // Nothing follows, not even the answer to a later request: its echo would arrive before the close.
  SendAll(fd, Debug("still there?"));
  ::shutdown(fd, SHUT_WR);
  EXPECT_TRUE(ClosedByServer(fd));
}

TEST_F(SimulatorServerTest, AnswersWhatIsOwedAfterTheClientStopsSending) {
  Start({"--delay", "50:0"});
  const int fd = Connect();
  SendAll(fd, Debug("last words"));
  ::shutdown(fd, SHUT_WR);
  EXPECT_EQ(Text(ReceiveFrame(fd).payload), "last words");
  EXPECT_TRUE(ClosedByServer(fd));
}

TEST_F(SimulatorServerTest, ClientAnnouncingTooLongAPayloadIsDisconnected) {
  Start();
  const int too_long = Connect();
  const int negative = Connect();
  SendAll(too_long, EncodeHeader(kDebugText, 100001));
  SendAll(negative, EncodeHeader(kDebugText, -1));
  EXPECT_TRUE(ClosedByServer(too_long));
  EXPECT_TRUE(ClosedByServer(negative));
  const int fresh = Connect();  // the server itself carries on
  SendAll(fresh, Debug("ok"));
  EXPECT_EQ(Text(ReceiveFrame(fresh).payload), "ok");
}

}  // namespace
}  // namespace moravex::sim
