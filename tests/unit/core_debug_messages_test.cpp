// Free debug text in both directions: no login, no flag, no timer.
#include <gtest/gtest.h>

#include "tests/support/test_client.h"

namespace moravex {
namespace {

using Lines = std::vector<std::string>;

TEST(CoreDebugMessage, InboundTextArrivesAtAnyTimeAndChangesNoFlag) {
  TestClient tc;
  tc.ConnectOnly();
  tc.Forget();
  tc.Answer(0, AnsiBytes("before login"));
  tc.Answer(0, {});
  tc->Login(TestClient::kUser, TestClient::kPassword, u"");
  tc.Answer(0, {'a', 0, 'b'});
  EXPECT_TRUE(tc.IsPending(Pending::Login));
  tc.Answer(1, Concat({LongBytes(0), AnsiBytes("OK")}));
  tc->GetSessionTime();
  tc.Answer(0, AnsiBytes("while pending"));
  EXPECT_TRUE(tc.IsPending(Pending::SessionTime));
  EXPECT_EQ(tc.events.Take(),
            (Lines{R"(GotDebugMessage("before login"))", R"(GotDebugMessage(""))", R"(GotDebugMessage("a\x00b"))",
                   "LoggedIn()", R"(GotDebugMessage("while pending"))"}));
  EXPECT_EQ(tc.socket->State(), kSocketConnected);
}

TEST(CoreDebugMessage, OutboundTextNeedsOnlyAConnection) {
  TestClient tc;
  tc.ConnectOnly();
  tc.Forget();
  tc->SendDebugMessage(u"hello");
  tc->SendDebugMessage(u"again");
  EXPECT_EQ(tc.Sent(), Concat({Frame(0, AnsiBytes("hello")), Frame(0, AnsiBytes("again"))}));
  // No flag, no timer.
  EXPECT_FALSE(tc.AnyPending());
  EXPECT_EQ(*tc.journal, (CallJournal{"Winsock1.SendData(11)", "Winsock1.SendData(11)"}));
}

}  // namespace
}  // namespace moravex
