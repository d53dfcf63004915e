// What each method refuses, in which order, with which number, source and
// description, and what a failure during the work leaves behind.
#include <gtest/gtest.h>

#include "tests/support/data_request_table.h"
#include "tests/support/failure_assertions.h"
#include "tests/support/test_client.h"

namespace moravex {
namespace {

const Text kNoSingleByteForm = u"\u4E2D";  // no Windows-1252 form
const Text kSevenChars = u"ABCDEFG";

std::string Source(const std::string& method) { return "ChartServiceClient:" + method; }

class CoreDataRequestChecks : public ::testing::TestWithParam<DataRequestCase> {
 protected:
  void ExpectNothingDone() {
    EXPECT_TRUE(tc.Sent().empty());
    EXPECT_FALSE(tc.IsPending(GetParam().flag));
    EXPECT_TRUE(GetParam().timer(tc).EnabledLog().empty());
    EXPECT_TRUE(tc.events.Lines().empty());
  }
  void Call(const Text& ticker = u"IBM") { GetParam().call(*tc.client, ticker); }
  TestClient tc;
};

TEST_P(CoreDataRequestChecks, ClosedSocketRaisesNotConnected) {
  EXPECT_TRUE(RaisesFailure([&] { Call(); }, NotConnected, Source(GetParam().method), "Not connected"));
  ExpectNothingDone();
}

TEST_P(CoreDataRequestChecks, ConnectingSocketRaisesNotConnected) {
  tc->Connect(TestClient::kServer, TestClient::kPort);
  tc.Forget();
  EXPECT_TRUE(RaisesFailure([&] { Call(); }, NotConnected, Source(GetParam().method), "Not connected"));
  ExpectNothingDone();
}

TEST_P(CoreDataRequestChecks, SocketStateWinsOverTheLoggedInFlag) {
  tc.ConnectAndLogin();
  tc.socket->SetState(kSocketClosing);
  ASSERT_TRUE(tc->LoggedIn());
  EXPECT_TRUE(RaisesFailure([&] { Call(kSevenChars); }, NotConnected, Source(GetParam().method), "Not connected"));
  ExpectNothingDone();
}

TEST_P(CoreDataRequestChecks, ConnectedButNotLoggedInRaisesNotLoggedIn) {
  tc.ConnectOnly();
  tc.Forget();
  EXPECT_TRUE(RaisesFailure([&] { Call(kSevenChars); }, NotLoggedIn, Source(GetParam().method), "Not logged in"));
  ExpectNothingDone();
}

TEST_P(CoreDataRequestChecks, SameKindTwiceRaisesRequestAlreadyPendingWhileOtherKindsAreSent) {
  tc.ConnectAndLogin();
  Call();
  const Bytes first = tc.Sent();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first[0], GetParam().message_type);
  EXPECT_TRUE(tc.IsPending(GetParam().flag));
  for (const DataRequestCase& other : DataRequests()) {
    if (other.method == GetParam().method) continue;
    tc.Forget();
    other.call(*tc.client, u"IBM");
    EXPECT_EQ(tc.Sent().at(0), other.message_type) << other.method;
  }
  tc.Forget();
  // The pending check comes before the ticker check.
  EXPECT_TRUE(RaisesFailure([&] { Call(kSevenChars); }, RequestAlreadyPending, Source(GetParam().method),
                            GetParam().already_pending));
  EXPECT_TRUE(tc.Sent().empty());
  EXPECT_TRUE(GetParam().timer(tc).EnabledLog().empty());
}

TEST_P(CoreDataRequestChecks, RequestIsWrittenBeforeItsFlagAndItsTimerRestart) {
  tc.ConnectAndLogin();
  Call();
  const FakeTimer& timer = GetParam().timer(tc);
  EXPECT_EQ(*tc.journal, (CallJournal{"Winsock1.SendData(" + std::to_string(tc.Sent().size()) + ")",
                                      timer.Name() + ".Enabled=false", timer.Name() + ".Enabled=true"}));
  EXPECT_TRUE(tc.IsPending(GetParam().flag));
}

TEST_P(CoreDataRequestChecks, SendFailureRaisesInternalErrorWithTheSocketsSourceAndLeavesNoFlag) {
  tc.ConnectAndLogin();
  tc.socket->FailSend("Connection is aborted due to timeout or other failure");
  EXPECT_TRUE(RaisesFailure([&] { Call(); }, InternalError, "Winsock1",
                            "Connection is aborted due to timeout or other failure"));
  tc.socket->SucceedSend();
  ExpectNothingDone();
  EXPECT_FALSE(GetParam().timer(tc).Enabled());
  // Nothing stuck: the same request goes through afterwards.
  Call();
  EXPECT_TRUE(tc.IsPending(GetParam().flag));
}

INSTANTIATE_TEST_SUITE_P(Core, CoreDataRequestChecks, ::testing::ValuesIn(DataRequests()), CaseName);

TEST(CoreTickerChecks, TickerLongerThanSixCharactersOrWithoutSingleByteFormIsRefused) {
  for (const DataRequestCase& request : DataRequests()) {
    if (!request.takes_ticker) continue;
    TestClient tc;
    tc.ConnectAndLogin();
    for (const Text& ticker : {kSevenChars, Text(u"A") + kNoSingleByteForm}) {
      EXPECT_TRUE(RaisesFailure([&] { request.call(*tc.client, ticker); }, InvalidTicker, Source(request.method),
                                "The Ticker parameter is invalid."));
    }
    EXPECT_TRUE(tc.Sent().empty());
    EXPECT_FALSE(tc.IsPending(request.flag));
    EXPECT_TRUE(request.timer(tc).EnabledLog().empty());
  }
}

class CoreTimeStampChecks : public ::testing::Test {
 protected:
  void SetUp() override { tc.ConnectAndLogin(); }
  void ExpectNothingSent() {
    EXPECT_TRUE(tc.Sent().empty());
    EXPECT_FALSE(tc.IsPending(Pending::DataUpdates));
  }
  TestClient tc;
};

TEST_F(CoreTimeStampChecks, EmptyStampRaisesInvalidDate) {
  EXPECT_TRUE(RaisesFailure([&] { tc->GetPriceChannelDataUpdates(u"IBM", u""); }, InvalidDate,
                            "ChartServiceClient:GetPriceChannelDataUpdates",
                            "The LastReceivedTimeStamp parameter is invalid."));
  ExpectNothingSent();
}

TEST_F(CoreTimeStampChecks, TextThatIsNoDateRaisesInvalidDate) {
  tc.text->is_date = [](const Text&) { return false; };
  EXPECT_TRUE(RaisesFailure([&] { tc->GetPriceChannelDataUpdates(u"IBM", u"2026-12-08 09:30:00"); }, InvalidDate,
                            "ChartServiceClient:GetPriceChannelDataUpdates",
                            "The LastReceivedTimeStamp parameter is invalid."));
  EXPECT_EQ(tc.text->DatesChecked(), std::vector<Text>{u"2026-12-08 09:30:00"});
  ExpectNothingSent();
}

TEST_F(CoreTimeStampChecks, DateWithoutSingleByteFormRaisesInvalidDate) {
  tc.text->is_date = [](const Text&) { return true; };
  EXPECT_TRUE(RaisesFailure([&] { tc->GetPriceChannelDataUpdates(u"IBM", u"2026-12-08" + kNoSingleByteForm); },
                            InvalidDate, "ChartServiceClient:GetPriceChannelDataUpdates",
                            "The LastReceivedTimeStamp parameter is invalid."));
  ExpectNothingSent();
}

TEST_F(CoreTimeStampChecks, TickerIsCheckedBeforeTheStamp) {
  EXPECT_TRUE(RaisesFailure([&] { tc->GetPriceChannelDataUpdates(kSevenChars, u""); }, InvalidTicker,
                            "ChartServiceClient:GetPriceChannelDataUpdates", "The Ticker parameter is invalid."));
  EXPECT_TRUE(tc.text->DatesChecked().empty());
  ExpectNothingSent();
}

class CoreLoginChecks : public ::testing::Test {
 protected:
  void ExpectNothingDone() {
    EXPECT_TRUE(tc.Sent().empty());
    EXPECT_FALSE(tc.IsPending(Pending::Login));
    EXPECT_TRUE(tc.login_timer->EnabledLog().empty());
  }
  TestClient tc;
};

TEST_F(CoreLoginChecks, CredentialsMustBeThirtySixCharactersEach) {
  tc.ConnectOnly();
  tc.Forget();
  const Text user = TestClient::kUser;
  const Text password = TestClient::kPassword;
  const std::vector<std::pair<Text, Text>> refused = {
      {Text(35, u'U'), password},
      {Text(37, u'U'), password},
      {user, Text(35, u'P')},
      {user, Text(37, u'P')},
      {user, u""},
      {u"", u""},
      {Text(35, u'U') + kNoSingleByteForm, password},
      {user, Text(35, u'P') + kNoSingleByteForm},
  };
  for (const auto& [u, p] : refused) {
    EXPECT_TRUE(RaisesFailure([&] { tc->Login(u, p, u""); }, InvalidUidAndPwCombination, "ChartServiceClient:Login",
                              "Invalid user ID and password combination"))
        << u.size() << "/" << p.size();
  }
  ExpectNothingDone();
}

TEST_F(CoreLoginChecks, ConnectionIsCheckedBeforeTheCredentials) {
  EXPECT_TRUE(RaisesFailure([&] { tc->Login(u"short", u"short", u""); }, NotConnected, "ChartServiceClient:Login",
                            "Not connected"));
  tc->Connect(TestClient::kServer, TestClient::kPort);  // still connecting
  tc.Forget();
  EXPECT_TRUE(RaisesFailure([&] { tc->Login(TestClient::kUser, TestClient::kPassword, u""); }, NotConnected,
                            "ChartServiceClient:Login", "Not connected"));
  ExpectNothingDone();
}

TEST_F(CoreLoginChecks, PendingLoginIsCheckedBeforeTheCredentials) {
  tc.ConnectOnly();
  tc->Login(TestClient::kUser, TestClient::kPassword, u"");
  tc.Forget();
  EXPECT_TRUE(RaisesFailure([&] { tc->Login(u"short", u"short", u""); }, RequestAlreadyPending,
                            "ChartServiceClient:Login", "A login request is already pending."));
  EXPECT_TRUE(tc.Sent().empty());
}

TEST_F(CoreLoginChecks, SecondLoginRaisesAlreadyLoggedIn) {
  tc.ConnectAndLogin();
  EXPECT_TRUE(RaisesFailure([&] { tc->Login(u"short", u"", u""); }, AlreadyLoggedIn, "ChartServiceClient:Login",
                            "Already logged in"));
  ExpectNothingDone();
  EXPECT_TRUE(tc->LoggedIn());
}

TEST_F(CoreLoginChecks, CookieWithoutSingleByteFormIsAnInternalErrorAndSendsNothing) {
  tc.ConnectOnly();
  tc.Forget();
  EXPECT_TRUE(RaisesFailure([&] { tc->Login(TestClient::kUser, TestClient::kPassword, u"a" + kNoSingleByteForm); },
                            InternalError, "ChartServiceClient:Login",
                            "The LoginCookie parameter has a character with no single-byte form."));
  ExpectNothingDone();
}

TEST_F(CoreLoginChecks, SendFailureRaisesInternalErrorAndLeavesNoFlag) {
  tc.ConnectOnly();
  tc.Forget();
  tc.socket->FailSend("The connection is reset by remote side");
  EXPECT_TRUE(RaisesFailure([&] { tc->Login(TestClient::kUser, TestClient::kPassword, u""); }, InternalError,
                            "Winsock1", "The connection is reset by remote side"));
  ExpectNothingDone();
}

TEST(CoreDebugMessageChecks, ErrorsNameTheShortSource) {
  TestClient tc;
  EXPECT_TRUE(RaisesFailure([&] { tc->SendDebugMessage(u"x"); }, NotConnected, "ChartServiceClient:SendDbgMsg",
                            "Not connected"));
  tc.ConnectOnly();
  tc.Forget();
  EXPECT_TRUE(RaisesFailure([&] { tc->SendDebugMessage(u"x" + kNoSingleByteForm); }, InternalError,
                            "ChartServiceClient:SendDbgMsg",
                            "The Message parameter has a character with no single-byte form."));
  EXPECT_TRUE(tc.Sent().empty());
  tc.socket->FailSend("Broken pipe");
  EXPECT_TRUE(RaisesFailure([&] { tc->SendDebugMessage(u"x"); }, InternalError, "Winsock1", "Broken pipe"));
}

TEST(CoreConnectChecks, ConnectWhileConnectedRaisesAlreadyConnectedAndKeepsTheSession) {
  TestClient tc;
  tc.ConnectAndLogin();
  tc->GetSessionTime();
  tc.Forget();
  const int closes = tc.socket->CloseCalls();
  EXPECT_TRUE(RaisesFailure([&] { tc->Connect(u"other", 1); }, AlreadyConnected, "ChartServiceClient:Connect",
                            "Already connected"));
  EXPECT_TRUE(tc->LoggedIn());
  EXPECT_TRUE(tc.IsPending(Pending::SessionTime));
  EXPECT_EQ(tc.socket->CloseCalls(), closes);
  EXPECT_EQ(tc.socket->Connects().size(), 1u);
  EXPECT_TRUE(tc.journal->empty());
}

TEST(CoreConnectChecks, DisconnectWithoutConnectionRaisesNotConnectedAndLeavesAnAttemptAlone) {
  TestClient tc;
  EXPECT_TRUE(RaisesFailure([&] { tc->Disconnect(); }, NotConnected, "ChartServiceClient:Disconnect", "Not connected"));
  tc->Connect(TestClient::kServer, TestClient::kPort);
  tc.Forget();
  const int closes = tc.socket->CloseCalls();
  EXPECT_TRUE(RaisesFailure([&] { tc->Disconnect(); }, NotConnected, "ChartServiceClient:Disconnect", "Not connected"));
  EXPECT_EQ(tc.socket->CloseCalls(), closes);
  EXPECT_TRUE(tc.IsPending(Pending::Connect));
  EXPECT_TRUE(tc.login_timer->Enabled());
  tc.socket->FireConnect();
  EXPECT_EQ(tc.events.Take(), std::vector<std::string>{"Connected()"});
}

TEST(CoreConnectChecks, RefusedConnectLeavesTheClosedState) {
  TestClient tc;
  tc.socket->FailConnect("Invalid argument");
  EXPECT_TRUE(RaisesFailure([&] { tc->Connect(u"", -1); }, InternalError, "Winsock1", "Invalid argument"));
  EXPECT_FALSE(tc.IsPending(Pending::Connect));
  EXPECT_FALSE(tc.login_timer->Enabled());
  EXPECT_EQ(tc.socket->State(), kSocketClosed);
  EXPECT_EQ(tc.socket->CloseCalls(), 1);  // the reset ran first
  EXPECT_TRUE(tc.events.Lines().empty());
}

TEST(CoreConnectChecks, ConnectPassesHostAndPortUnchanged) {
  TestClient tc;
  tc->Connect(u"  Some Host ", -5);
  ASSERT_EQ(tc.socket->Connects().size(), 1u);
  EXPECT_EQ(tc.socket->Connects()[0].host, u"  Some Host ");
  EXPECT_EQ(tc.socket->Connects()[0].port, -5);
  EXPECT_FALSE(tc->Connected());
}

TEST(CoreConnectChecks, TimerFailureInsideDisconnectIsAnInternalError) {
  TestClient tc;
  tc.ConnectAndLogin();
  tc.login_timer->RefuseEnabled("Timer refused");
  EXPECT_TRUE(RaisesFailure([&] { tc->Disconnect(); }, InternalError, "tmrLoginAndConnectTimeout", "Timer refused"));
  EXPECT_TRUE(tc.events.Lines().empty());
}

}  // namespace
}  // namespace moravex
