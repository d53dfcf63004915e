// Socket notifications turned into connection events, and what a reset does.
#include <gtest/gtest.h>

#include "tests/support/test_client.h"

namespace moravex {
namespace {

using Lines = std::vector<std::string>;
using Log = std::vector<bool>;

TEST(CoreConnection, ConnectReportsConnectedOnceTheSocketDoes) {
  TestClient tc;
  tc->Connect(TestClient::kServer, TestClient::kPort);
  EXPECT_FALSE(tc->Connected());
  EXPECT_TRUE(tc.IsPending(Pending::Connect));
  EXPECT_EQ(tc.login_timer->EnabledLog(), (Log{false, false, true}));  // the reset, then the restart
  EXPECT_TRUE(tc.events.Lines().empty());                              // no method fires an event
  tc.socket->FireConnect();
  EXPECT_EQ(tc.events.Take(), Lines{"Connected()"});
  EXPECT_TRUE(tc->Connected());
  EXPECT_TRUE(tc->State().IsConnected);
  EXPECT_FALSE(tc.IsPending(Pending::Connect));
  EXPECT_TRUE(tc.login_timer->Enabled());  // stops itself at its next tick
  EXPECT_FALSE(tc->LoggedIn());
}

TEST(CoreConnection, PeerCloseEndsTheSession) {
  TestClient tc;
  tc.ConnectAndLogin();
  tc->GetSessionDate();
  tc.socket->FirePeerClose();
  EXPECT_EQ(tc.events.Take(), Lines{R"(Disconnected("Winsock1_Close"))"});
  EXPECT_FALSE(tc->Connected());
  EXPECT_FALSE(tc->LoggedIn());
  EXPECT_FALSE(tc.AnyPending());
  EXPECT_FALSE(tc->State().IsConnected);
}

TEST(CoreConnection, SocketErrorWhileConnectedIsADisconnectWithTheDescription) {
  TestClient tc;
  tc.ConnectAndLogin();
  tc.socket->FireError(u"Connection reset by peer");
  EXPECT_EQ(tc.events.Take(), Lines{R"(Disconnected("Winsock1_Error: Connection reset by peer"))"});
  EXPECT_FALSE(tc->LoggedIn());
  tc.ConnectOnly();
  tc.socket->FireError(u"");
  EXPECT_EQ(tc.events.Take(), (Lines{"Connected()", R"(Disconnected("Winsock1_Error: "))"}));
}

TEST(CoreConnection, SocketErrorWhileConnectingIsAFailedConnection) {
  TestClient tc;
  tc->Connect(TestClient::kServer, TestClient::kPort);
  tc.socket->FireError(u"Connection refused");
  EXPECT_EQ(tc.events.Take(), Lines{"ConnectionFailed()"});
  EXPECT_FALSE(tc.IsPending(Pending::Connect));
  EXPECT_FALSE(tc.login_timer->Enabled());
  EXPECT_EQ(tc.socket->State(), kSocketClosed);
}

TEST(CoreConnection, ConnectDuringAnAttemptReplacesIt) {
  TestClient tc;
  tc->Connect(u"first", 1);
  tc.Forget();
  const int closes = tc.socket->CloseCalls();
  tc->Connect(u"second", 2);
  EXPECT_EQ(tc.socket->CloseCalls(), closes + 1);
  ASSERT_EQ(tc.socket->Connects().size(), 2u);
  EXPECT_EQ(tc.socket->Connects()[1].host, u"second");
  EXPECT_EQ(tc.socket->Connects()[1].port, 2);
  // The reset comes first, then the new attempt and its supervision.
  EXPECT_EQ(*tc.journal, (CallJournal{"Winsock1.Close", "tmrDataRequestTimeout.Enabled=false",
                                      "tmrLoginAndConnectTimeout.Enabled=false", "tmrSessionInfoTimeout.Enabled=false",
                                      "Winsock1.Connect", "tmrLoginAndConnectTimeout.Enabled=false",
                                      "tmrLoginAndConnectTimeout.Enabled=true"}));
  EXPECT_TRUE(tc.IsPending(Pending::Connect));
  EXPECT_TRUE(tc.events.Lines().empty());
}

TEST(CoreConnection, DisconnectFiresNothingAndDropsPendingRequests) {
  TestClient tc;
  tc.ConnectAndLogin();
  tc->GetSessionTime();
  tc->GetFullPriceChannelData(u"IBM", 1);
  tc->Disconnect();
  EXPECT_TRUE(tc.events.Lines().empty());
  EXPECT_FALSE(tc->LoggedIn());
  EXPECT_FALSE(tc->Connected());
  EXPECT_FALSE(tc.AnyPending());
  EXPECT_FALSE(tc.session_timer->Tick());
  EXPECT_FALSE(tc.data_timer->Tick());
  EXPECT_TRUE(tc.events.Lines().empty());
}

TEST(CoreConnection, ResetClosesFirstThenDisablesTheTimersInItsOrder) {
  TestClient tc;
  tc.ConnectAndLogin();
  tc->GetSessionTime();
  tc.Forget();
  tc->Disconnect();
  EXPECT_EQ(*tc.journal,
            (CallJournal{"Winsock1.Close", "tmrDataRequestTimeout.Enabled=false",
                         "tmrLoginAndConnectTimeout.Enabled=false", "tmrSessionInfoTimeout.Enabled=false"}));
  EXPECT_EQ(tc.session_timer->Interval(), 5000);  // intervals stay
}

TEST(CoreConnection, ResetStopsAtAFailingTimer) {
  TestClient tc;
  tc.ConnectAndLogin();
  tc->GetSessionTime();
  tc.Forget();
  tc.login_timer->RefuseEnabled("refused");
  EXPECT_THROW(tc->Disconnect(), Failure);
  // Steps before the failure happened; the later ones did not.
  EXPECT_EQ(*tc.journal, (CallJournal{"Winsock1.Close", "tmrDataRequestTimeout.Enabled=false",
                                      "tmrLoginAndConnectTimeout.Enabled=false"}));
  EXPECT_FALSE(tc.AnyPending());
  EXPECT_TRUE(tc.session_timer->Enabled());
}

TEST(CoreConnection, PeerCloseIsReportedEvenWhenTheResetFails) {
  TestClient tc;
  tc.ConnectAndLogin();
  tc.data_timer->RefuseEnabled("refused");
  tc.socket->FirePeerClose();
  EXPECT_EQ(tc.events.Take(), Lines{R"(Disconnected("Winsock1_Close"))"});
}

TEST(CoreConnection, ControlThatNeverConnectedStaysQuiet) {
  TestClient tc;
  EXPECT_FALSE(tc->Connected());
  EXPECT_FALSE(tc->LoggedIn());
  EXPECT_FALSE(tc.AnyPending());
  for (const auto& timer : {tc.login_timer, tc.data_timer, tc.session_timer}) {
    EXPECT_FALSE(timer->Enabled());
    EXPECT_TRUE(timer->HasTickHandler());
  }
  EXPECT_TRUE(tc.socket->Attached());
}

TEST(CoreConnection, DestroyedControlClosesAndDetachesItsComponents) {
  TestClient tc;
  tc.ConnectAndLogin();
  const int closes = tc.socket->CloseCalls();
  tc.DropClient();
  EXPECT_EQ(tc.socket->CloseCalls(), closes + 1);
  EXPECT_FALSE(tc.socket->Attached());
  EXPECT_FALSE(tc.login_timer->HasTickHandler());
  tc.socket->Arrive(Frame(0, AnsiBytes("nobody listens")));
  EXPECT_TRUE(tc.events.Lines().empty());
}

}  // namespace
}  // namespace moravex
