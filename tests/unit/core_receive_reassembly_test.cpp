// Cutting the inbound byte stream into frames across any split of
// notifications, and the two ways a malformed stream ends the connection.
#include <gtest/gtest.h>

#include "tests/support/test_client.h"

namespace moravex {
namespace {

using Lines = std::vector<std::string>;

// Debug text, a session-time answer and an empty debug text at the very end.
const Bytes kStream = Concat({Frame(0, AnsiBytes("abc")), Frame(4, AnsiBytes("09:30:00")), Frame(0, {})});
const Lines kStreamEvents = {R"(GotDebugMessage("abc"))", R"(GotSessionTime("09:30:00"))", R"(GotDebugMessage(""))"};

class CoreReassembly : public ::testing::Test {
 protected:
  void SetUp() override { tc.ConnectAndLogin(); }
  void ExpectResetWith(const std::string& reason) {
    EXPECT_EQ(tc.events.Take(), Lines{"Disconnected(\"" + reason + "\")"});
    EXPECT_EQ(tc.socket->State(), kSocketClosed);
    EXPECT_EQ(tc.socket->BytesReceived(), 0);
    EXPECT_FALSE(tc->LoggedIn());
    EXPECT_FALSE(tc.AnyPending());
    EXPECT_FALSE(tc.login_timer->Enabled());
    EXPECT_FALSE(tc.data_timer->Enabled());
    EXPECT_FALSE(tc.session_timer->Enabled());
    EXPECT_EQ(tc->Receiving().ReceiveState, ReceiveStates::AwaitingHeader);
    EXPECT_EQ(tc->Receiving().HeaderBytesReceived, 0);
  }
  TestClient tc;
};

TEST(CoreReassemblySplit, EveryWayOfCuttingTheStreamInTwoOrThreeGivesTheSameEvents) {
  for (size_t first = 0; first <= kStream.size(); ++first) {
    for (size_t second = 0; first + second <= kStream.size(); ++second) {
      TestClient tc;
      tc.ConnectAndLogin();
      tc->GetSessionTime();
      tc.Forget();
      tc.socket->ArriveInPieces(kStream, {first, second});
      ASSERT_EQ(tc.events.Take(), kStreamEvents) << "cut at " << first << " and " << first + second;
      ASSERT_EQ(tc->Receiving().ReceiveState, ReceiveStates::AwaitingHeader);
      ASSERT_EQ(tc->Receiving().HeaderBytesReceived, 0);
    }
  }
}

TEST_F(CoreReassembly, OneBytePerNotification) {
  tc->GetSessionTime();
  tc.socket->ArriveInPieces(kStream, std::vector<size_t>(kStream.size(), 1));
  EXPECT_EQ(tc.events.Take(), kStreamEvents);
}

TEST_F(CoreReassembly, SeveralMessagesInOneNotificationAreDispatchedInOrder) {
  tc->GetSessionTime();
  tc.Forget();
  std::vector<size_t> seen;
  tc.events.on_event = [&](const std::string&) { seen.push_back(static_cast<size_t>(tc.socket->BytesReceived())); };
  tc.socket->Arrive(kStream);
  EXPECT_EQ(tc.events.Take(), kStreamEvents);
  // Each message is handled before the next one is read.
  EXPECT_EQ(seen, (std::vector<size_t>{20, 6, 0}));
}

TEST_F(CoreReassembly, HeaderInPiecesOfOneTwoAndThreeBytes) {
  const Bytes frame = Frame(0, AnsiBytes("hello"));
  const auto slice = [&](size_t from, size_t to) {
    return Bytes(frame.begin() + static_cast<std::ptrdiff_t>(from), frame.begin() + static_cast<std::ptrdiff_t>(to));
  };
  tc.socket->Arrive(slice(0, 1));
  tc.socket->Arrive(slice(1, 3));
  tc.socket->Arrive(slice(3, 6));
  EXPECT_EQ(tc->Receiving().ReceiveState, ReceiveStates::AwaitingPayload);
  tc.socket->Arrive(slice(6, 8));
  EXPECT_TRUE(tc.events.Lines().empty());  // payload not complete yet
  tc.socket->Arrive(slice(8, 11));
  EXPECT_EQ(tc.events.Take(), Lines{R"(GotDebugMessage("hello"))"});
}

TEST_F(CoreReassembly, EmptyPayloadAtTheEndOfTheDataIsDispatchedAtOnce) {
  tc.socket->Arrive(Header(0, 0));
  EXPECT_EQ(tc.events.Take(), Lines{R"(GotDebugMessage(""))"});
  EXPECT_EQ(tc->Receiving().ReceiveState, ReceiveStates::AwaitingHeader);
}

TEST_F(CoreReassembly, LargestPayloadIsAccepted) {
  const std::string text(100000, 'x');
  tc.Answer(0, AnsiBytes(text));
  EXPECT_EQ(tc.events.Take(), Lines{"GotDebugMessage(\"" + text + "\")"});
  EXPECT_EQ(tc.socket->State(), kSocketConnected);
}

TEST_F(CoreReassembly, OneByteOverTheLimitEndsTheConnection) {
  tc->GetSessionTime();
  tc->GetFullPriceChannelData(u"IBM", 10);
  tc.Forget();
  const int closes = tc.socket->CloseCalls();
  // What follows the bad header in the same notification is never read.
  tc.socket->Arrive(Concat({Header(0, 100001), Frame(0, AnsiBytes("after"))}));
  ExpectResetWith("Bogus payload length");
  EXPECT_EQ(tc.socket->CloseCalls(), closes + 1);
  // No Timeout follows for the dropped requests.
  EXPECT_FALSE(tc.session_timer->Tick());
  EXPECT_FALSE(tc.data_timer->Tick());
  EXPECT_TRUE(tc.events.Lines().empty());
}

TEST_F(CoreReassembly, NegativeLengthEndsTheConnection) {
  tc.socket->Arrive(Concat({Header(0, -1), Frame(0, AnsiBytes("after"))}));
  ExpectResetWith("Winsock1_DataArrival exception");
}

TEST_F(CoreReassembly, MostNegativeLengthSplitAcrossNotifications) {
  tc.socket->ArriveInPieces(Header(0, -2147483647 - 1), {2, 3});
  ExpectResetWith("Winsock1_DataArrival exception");
}

TEST_F(CoreReassembly, FailingSocketReadEndsTheConnection) {
  tc.socket->FailReads("read failed");
  tc.socket->Arrive(Frame(0, AnsiBytes("x")));
  ExpectResetWith("Winsock1_DataArrival exception");
}

TEST_F(CoreReassembly, DroppedMessagesAreConsumedWhole) {
  tc.socket->Arrive(Concat({
      Frame(12, AnsiBytes("twelve")),
      Frame(255, AnsiBytes("x")),
      Frame(3, AnsiBytes("2026-12-08")),                  // nobody asked for the date
      Frame(1, Concat({LongBytes(0), AnsiBytes("OK")})),  // no login pending
      Frame(5, Bytes(24, 0)),
      Frame(0, AnsiBytes("next")),
  }));
  EXPECT_EQ(tc.events.Take(), Lines{R"(GotDebugMessage("next"))"});
  EXPECT_FALSE(tc.AnyPending());
}

TEST_F(CoreReassembly, SecondHeaderByteHasNoEffect) {
  tc->GetSessionDate();
  tc.Answer(3, AnsiBytes("2026-12-08"), 0xFF);
  tc.Answer(0, AnsiBytes("dbg"), 0x7F);
  EXPECT_EQ(tc.events.Take(), (Lines{R"(GotSessionDate("2026-12-08"))", R"(GotDebugMessage("dbg"))"}));
}

TEST_F(CoreReassembly, NestedNotificationGoesOnWithTheNextMessageInsideTheHandler) {
  int nested_events = -1;
  tc.events.on_event = [&](const std::string& line) {
    if (line != R"(GotDebugMessage("first"))") return;
    // A host pumping messages inside its handler delivers more data now: the
    // rest of the outer notification, then the new bytes, ending in a header
    // whose payload is still to come.
    tc.socket->Arrive(Concat({Frame(0, AnsiBytes("third")), Header(0, 4)}));
    nested_events = static_cast<int>(tc.events.Lines().size());
  };
  tc.socket->Arrive(Concat({Frame(0, AnsiBytes("first")), Frame(0, AnsiBytes("second"))}));
  EXPECT_EQ(nested_events, 3);
  // The outer loop left the nested read's header as it was.
  EXPECT_EQ(tc->Receiving().ReceiveState, ReceiveStates::AwaitingPayload);
  tc.socket->Arrive(AnsiBytes("last"));
  EXPECT_EQ(tc.events.Take(), (Lines{R"(GotDebugMessage("first"))", R"(GotDebugMessage("second"))",
                                     R"(GotDebugMessage("third"))", R"(GotDebugMessage("last"))"}));
  EXPECT_EQ(tc.socket->BytesReceived(), 0);
}

TEST_F(CoreReassembly, ReceiveStateSurvivesBetweenNotificationsAndResetsOnConnect) {
  tc.socket->Arrive(Concat({Header(0, 10), AnsiBytes("abc")}));
  EXPECT_EQ(tc->Receiving().ReceiveState, ReceiveStates::AwaitingPayload);
  EXPECT_EQ(tc->Receiving().PayloadBytesReceived, 3);
  tc->Disconnect();
  EXPECT_EQ(tc->Receiving().ReceiveState, ReceiveStates::AwaitingHeader);
  EXPECT_EQ(tc->Receiving().PayloadLength, 0);
  // The next connection starts cleanly with a new frame.
  tc.ConnectOnly();
  tc.Forget();
  tc.Answer(0, AnsiBytes("fresh"));
  EXPECT_EQ(tc.events.Take(), Lines{R"(GotDebugMessage("fresh"))"});
}

}  // namespace
}  // namespace moravex
