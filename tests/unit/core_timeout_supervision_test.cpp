// The three supervising timers: their properties, what a tick reports and in
// which order, live flags under re-entrant requests, and silence after resets.
#include <gtest/gtest.h>

#include "tests/support/failure_assertions.h"
#include "tests/support/test_client.h"

namespace moravex {
namespace {

using Lines = std::vector<std::string>;
using Log = std::vector<bool>;

TEST(CoreTimeoutProperties, EachPropertyIsItsOwnTimersInterval) {
  TestClient tc;
  EXPECT_EQ(tc->LoginAndConnectTimeout(), 5000);
  EXPECT_EQ(tc->DataRequestTimeout(), 5000);
  EXPECT_EQ(tc->SessionInfoTimeout(), 5000);
  tc->SetDataRequestTimeout(1234);
  EXPECT_EQ(tc->DataRequestTimeout(), 1234);
  EXPECT_EQ(tc->LoginAndConnectTimeout(), 5000);
  EXPECT_EQ(tc->SessionInfoTimeout(), 5000);
  tc->SetLoginAndConnectTimeout(0);
  tc->SetSessionInfoTimeout(-7);
  EXPECT_EQ(tc.login_timer->Interval(), 0);
  EXPECT_EQ(tc.data_timer->Interval(), 1234);
  EXPECT_EQ(tc.session_timer->Interval(), -7);
  EXPECT_EQ(tc->SessionInfoTimeout(), -7);
  // A put neither starts nor stops anything.
  EXPECT_EQ(*tc.journal, (CallJournal{"tmrDataRequestTimeout.Interval=1234", "tmrLoginAndConnectTimeout.Interval=0",
                                      "tmrSessionInfoTimeout.Interval=-7"}));
}

TEST(CoreTimeoutProperties, RefusedPutPassesTheTimersFailureUnchanged) {
  TestClient tc;
  tc.session_timer->RefuseInterval("Invalid property value");
  EXPECT_TRUE(RaisesFailure([&] { tc->SetSessionInfoTimeout(-1); }, FakeTimer::kRefusalNumber, "tmrSessionInfoTimeout",
                            "Invalid property value"));
  EXPECT_EQ(tc->SessionInfoTimeout(), 5000);
}

class CoreTimeout : public ::testing::Test {
 protected:
  void SetUp() override { tc.ConnectAndLogin(); }
  TestClient tc;
};

TEST_F(CoreTimeout, UnansweredRequestTimesOutOnceAndCanBeIssuedAgain) {
  tc->GetSessionTime();
  EXPECT_TRUE(tc.session_timer->Tick());
  EXPECT_EQ(tc.events.Take(), Lines{"Timeout(6)"});
  EXPECT_FALSE(tc.session_timer->Enabled());
  EXPECT_FALSE(tc.IsPending(Pending::SessionTime));
  tc->GetSessionTime();
  EXPECT_TRUE(tc.session_timer->Enabled());
}

TEST_F(CoreTimeout, OneTickReportsEveryPendingRequestOfItsGroupInOrder) {
  tc->GetPriceChannelDataUpdates(u"IBM", u"2026-12-08 09:30:00");
  tc->GetFullPriceChannelData(u"IBM", 100);
  tc->GetSessionTime();
  ASSERT_TRUE(tc.data_timer->Tick());
  EXPECT_EQ(tc.events.Take(), (Lines{"Timeout(3)", "Timeout(2)"}));
  EXPECT_FALSE(tc.data_timer->Enabled());
  // Another group's request is untouched by that tick.
  EXPECT_TRUE(tc.IsPending(Pending::SessionTime));
  EXPECT_TRUE(tc.session_timer->Enabled());
}

TEST_F(CoreTimeout, SessionInfoGroupOrder) {
  // Issued in reverse of the order a tick examines them.
  tc->GetPreviousSessionsSupportAndResistancePrices(u"A");
  tc->GetPreviousSessionsClosingPrice(u"A");
  tc->GetPreviousSessionsLowPrice(u"A");
  tc->GetPreviousSessionsHighPrice(u"A");
  tc->GetPreviousSessionsLastAverageVantrelPrice(u"A");
  tc->GetSessionDateTime();
  tc->GetSessionDate();
  tc->GetSessionTime();
  ASSERT_TRUE(tc.session_timer->Tick());
  EXPECT_EQ(tc.events.Take(), (Lines{"Timeout(6)", "Timeout(5)", "Timeout(4)", "Timeout(7)", "Timeout(8)", "Timeout(9)",
                                     "Timeout(10)", "Timeout(11)"}));
  EXPECT_FALSE(tc.session_timer->Enabled());
}

TEST(CoreTimeoutConnect, LoginGroupReportsLoginThenConnect) {
  TestClient tc;
  tc->Connect(TestClient::kServer, TestClient::kPort);
  ASSERT_TRUE(tc.login_timer->Tick());
  EXPECT_EQ(tc.events.Take(), Lines{"Timeout(0)"});
  // The attempt is not cancelled: a late connection is still reported.
  EXPECT_EQ(tc.socket->State(), kSocketConnecting);
  tc.socket->FireConnect();
  EXPECT_EQ(tc.events.Take(), Lines{"Connected()"});
  tc->Login(TestClient::kUser, TestClient::kPassword, u"");
  ASSERT_TRUE(tc.login_timer->Tick());
  EXPECT_EQ(tc.events.Take(), Lines{"Timeout(1)"});
  EXPECT_FALSE(tc->LoggedIn());
  // A late login answer is dropped.
  tc.Answer(1, Concat({LongBytes(0), AnsiBytes("OK")}));
  EXPECT_TRUE(tc.events.Lines().empty());
  EXPECT_FALSE(tc->LoggedIn());
}

TEST_F(CoreTimeout, AnsweredRequestStopsTheTimerSilentlyAtTheNextTick) {
  tc->GetSessionDate();
  tc.Answer(3, AnsiBytes("2026-12-08"));
  EXPECT_EQ(tc.events.Take(), Lines{R"(GotSessionDate("2026-12-08"))"});
  EXPECT_TRUE(tc.session_timer->Enabled());  // an answer does not touch the timer
  EXPECT_TRUE(tc.session_timer->Tick());
  EXPECT_TRUE(tc.events.Lines().empty());
  EXPECT_FALSE(tc.session_timer->Enabled());
}

TEST_F(CoreTimeout, ConnectAndLoginTimerStopsItselfOnceNothingIsPending) {
  ASSERT_TRUE(tc.login_timer->Enabled());
  EXPECT_TRUE(tc.login_timer->Tick());
  EXPECT_TRUE(tc.events.Lines().empty());
  EXPECT_EQ(tc.login_timer->EnabledLog(), Log{false});
}

TEST_F(CoreTimeout, LateAnswerIsDroppedButAnswersANewRequestOfTheSameKind) {
  tc->GetSessionTime();
  tc.session_timer->Tick();
  tc.events.Take();
  tc.Answer(4, AnsiBytes("late"));
  EXPECT_TRUE(tc.events.Lines().empty());
  tc->GetSessionTime();
  tc.Answer(4, AnsiBytes("09:31:00"));
  tc.Answer(4, AnsiBytes("second answer"));
  EXPECT_EQ(tc.events.Take(), Lines{R"(GotSessionTime("09:31:00"))"});
}

TEST_F(CoreTimeout, SameRequestReissuedInsideTimeoutIsAcceptedAndKeepsTheTimerRunning) {
  bool reissued = false;
  tc.events.on_event = [&](const std::string& line) {
    if (line == "Timeout(6)" && !reissued) {
      reissued = true;
      EXPECT_FALSE(tc.IsPending(Pending::SessionTime));  // cleared before the event
      tc->GetSessionTime();
    }
  };
  tc->GetSessionTime();
  tc.session_timer->ClearLog();
  ASSERT_TRUE(tc.session_timer->Tick());
  EXPECT_EQ(tc.events.Take(), Lines{"Timeout(6)"});
  EXPECT_TRUE(tc.IsPending(Pending::SessionTime));
  EXPECT_TRUE(tc.session_timer->Enabled());
  EXPECT_EQ(tc.session_timer->EnabledLog(), (Log{false, true}));  // only the request's own restart
  ASSERT_TRUE(tc.session_timer->Tick());
  EXPECT_EQ(tc.events.Take(), Lines{"Timeout(6)"});
  EXPECT_FALSE(tc.session_timer->Enabled());
}

TEST_F(CoreTimeout, LaterFlagSetInsideTimeoutIsReportedByTheSameTick) {
  tc.events.on_event = [&](const std::string& line) {
    if (line == "Timeout(6)") tc->GetSessionDate();
  };
  tc->GetSessionTime();
  ASSERT_TRUE(tc.session_timer->Tick());
  EXPECT_EQ(tc.events.Take(), (Lines{"Timeout(6)", "Timeout(5)"}));
  EXPECT_FALSE(tc.IsPending(Pending::SessionDate));
  EXPECT_FALSE(tc.session_timer->Enabled());
}

TEST_F(CoreTimeout, EarlierFlagSetInsideTimeoutWaitsForTheNextTick) {
  tc.events.on_event = [&](const std::string& line) {
    if (line == "Timeout(5)") tc->GetSessionTime();
  };
  tc->GetSessionDate();
  ASSERT_TRUE(tc.session_timer->Tick());
  EXPECT_EQ(tc.events.Take(), Lines{"Timeout(5)"});
  EXPECT_TRUE(tc.IsPending(Pending::SessionTime));
  EXPECT_TRUE(tc.session_timer->Enabled());
  tc.events.on_event = nullptr;
  ASSERT_TRUE(tc.session_timer->Tick());
  EXPECT_EQ(tc.events.Take(), Lines{"Timeout(6)"});
}

TEST_F(CoreTimeout, EveryRequestOfAGroupRestartsItsSharedTimer) {
  tc->GetSessionDate();
  tc->GetPreviousSessionsHighPrice(u"IBM");
  EXPECT_EQ(tc.session_timer->EnabledLog(), (Log{false, true, false, true}));
  tc->GetPriceChannelDataUpdates(u"IBM", u"2026-12-08 09:30:00");
  tc->GetFullPriceChannelData(u"IBM", 1);
  EXPECT_EQ(tc.data_timer->EnabledLog(), (Log{false, true, false, true}));
  EXPECT_TRUE(tc.login_timer->EnabledLog().empty());
  ASSERT_TRUE(tc.session_timer->Tick());
  EXPECT_EQ(tc.events.Take(), (Lines{"Timeout(5)", "Timeout(8)"}));
}

TEST_F(CoreTimeout, TimerThatCannotStopTicksAgainQuietly) {
  tc->GetSessionTime();
  tc.session_timer->RefuseEnabled("cannot stop");
  ASSERT_TRUE(tc.session_timer->Tick());
  EXPECT_EQ(tc.events.Take(), Lines{"Timeout(6)"});
  ASSERT_TRUE(tc.session_timer->Tick());
  EXPECT_TRUE(tc.events.Lines().empty());
}

// Every way a connection ends leaves nothing to time out.
class CoreNoTimeoutAfterReset : public ::testing::TestWithParam<std::string> {};

TEST_P(CoreNoTimeoutAfterReset, PendingRequestsVanishSilently) {
  TestClient tc;
  tc.ConnectAndLogin();
  tc->GetFullPriceChannelData(u"IBM", 1);
  tc->GetPriceChannelDataUpdates(u"IBM", u"2026-12-08 09:30:00");
  tc->GetSessionTime();
  tc->GetPreviousSessionsSupportAndResistancePrices(u"IBM");
  const std::string how = GetParam();
  if (how == "Disconnect") tc->Disconnect();
  if (how == "PeerClose") tc.socket->FirePeerClose();
  if (how == "SocketError") tc.socket->FireError(u"reset");
  if (how == "BogusLength") tc.socket->Arrive(Header(0, 200000));
  if (how == "Reconnect") {
    tc.socket->SetState(kSocketConnecting);  // a connect attempt may be replaced
    tc->Connect(TestClient::kServer, TestClient::kPort);
  }
  tc.events.Take();
  const bool connect_pending = how == "Reconnect";
  EXPECT_EQ(tc.AnyPending(), connect_pending);
  EXPECT_FALSE(tc->LoggedIn());
  EXPECT_FALSE(tc.data_timer->Enabled());
  EXPECT_FALSE(tc.session_timer->Enabled());
  EXPECT_FALSE(tc.data_timer->Tick());
  EXPECT_FALSE(tc.session_timer->Tick());
  tc.Answer(5, {});
  tc.Answer(4, AnsiBytes("late"));
  EXPECT_TRUE(tc.events.Lines().empty());
  // The same kinds are accepted again on the next connection.
  tc.socket->SetState(kSocketClosed);
  tc.ConnectAndLogin();
  tc->GetFullPriceChannelData(u"IBM", 1);
  tc->GetSessionTime();
}

INSTANTIATE_TEST_SUITE_P(Core, CoreNoTimeoutAfterReset,
                         ::testing::Values("Disconnect", "PeerClose", "SocketError", "BogusLength", "Reconnect"));

// Answers that came in one read, the first one's handler running a message
// loop past the time-out (a message box): the rest are delivered inside that
// loop, in wire order, each once, and nothing of them times out.
TEST(CoreAnswersInHand, AreDeliveredInsideAPumpingHandlerAndNeverTimedOut) {
  for (const bool pump_first : {true, false}) {
    SCOPED_TRACE(pump_first ? "the loop's first pass brings them" : "the time-out comes first");
    TestClient tc;
    tc.ConnectAndLogin();
    tc->GetSessionTime();
    tc->GetSessionDate();
    tc->GetSessionDateTime();
    int depth = 0;
    std::vector<int> depths;
    tc.events.on_event = [&](const std::string& line) {
      depths.push_back(depth);
      if (line.rfind("Got", 0) != 0) return;
      ++depth;
      if (pump_first) {
        while (tc.socket->PumpOne()) {}
      }
      tc.session_timer->Tick();
      --depth;
    };
    tc.socket->PostPeerClose();
    tc.socket->Arrive(
        Concat({Frame(4, AnsiBytes("09:30:00")), Frame(3, AnsiBytes("12/09/2026")), Frame(2, AnsiBytes("now"))}));
    while (tc.socket->PumpOne()) {}
    EXPECT_EQ(tc.events.Take(),
              (std::vector<std::string>{R"(GotSessionTime("09:30:00"))", R"(GotSessionDate("12/09/2026"))",
                                        R"(GotSessionDateTime("now"))", R"(Disconnected("Winsock1_Close"))"}));
    // The close waits for the answers before it, inside the loop that pumps.
    EXPECT_EQ(depths, (std::vector<int>{0, 1, 2, pump_first ? 1 : 0}));
  }
}

// A time-out still comes for what has not arrived, after the answers in hand.
TEST(CoreAnswersInHand, OnlyWhatHasNotArrivedTimesOut) {
  TestClient tc;
  tc.ConnectAndLogin();
  tc->GetSessionTime();
  tc->GetSessionDate();
  tc->GetPreviousSessionsHighPrice(u"IBM");
  tc.events.on_event = [&](const std::string& line) {
    if (line.rfind("GotSessionTime(", 0) == 0) tc.session_timer->Tick();
  };
  tc.socket->Arrive(Concat({Frame(4, AnsiBytes("t")), Frame(3, AnsiBytes("d"))}));
  EXPECT_EQ(tc.events.Take(),
            (std::vector<std::string>{R"(GotSessionTime("t"))", R"(GotSessionDate("d"))", "Timeout(8)"}));
  EXPECT_FALSE(tc.AnyPending());
}

}  // namespace
}  // namespace moravex
