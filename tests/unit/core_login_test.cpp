// The login answer: only code 0 with exactly "OK" logs in.
#include <gtest/gtest.h>

#include "tests/support/test_client.h"

namespace moravex {
namespace {

using Lines = std::vector<std::string>;

class CoreLoginAnswer : public ::testing::Test {
 protected:
  void SetUp() override {
    tc.ConnectOnly();
    tc->Login(TestClient::kUser, TestClient::kPassword, u"cookie");
    tc.Forget();
  }
  TestClient tc;
};

TEST_F(CoreLoginAnswer, CodeZeroAndOkLogsIn) {
  tc.Answer(1, Concat({LongBytes(0), AnsiBytes("OK")}));
  EXPECT_EQ(tc.events.Take(), Lines{"LoggedIn()"});
  EXPECT_TRUE(tc->LoggedIn());
  EXPECT_FALSE(tc.IsPending(Pending::Login));
  EXPECT_TRUE(tc.login_timer->EnabledLog().empty());  // the answer leaves the timer alone
}

TEST(CoreLoginAnswerRefusals, AnythingElseIsALoginFailureWithCodeAndText) {
  const std::vector<std::pair<Bytes, std::string>> answers = {
      {Concat({LongBytes(0), AnsiBytes("ok")}), R"(LoginFailed(0, "ok"))"},
      {Concat({LongBytes(0), AnsiBytes("OK ")}), R"(LoginFailed(0, "OK "))"},
      {Concat({LongBytes(5), AnsiBytes("OK")}), R"(LoginFailed(5, "OK"))"},
      {Concat({LongBytes(-2147221503), AnsiBytes("Bad password")}), R"(LoginFailed(-2147221503, "Bad password"))"},
      {Concat({LongBytes(0), AnsiBytes("OK"), Bytes{0}}), R"(LoginFailed(0, "OK\x00"))"},
  };
  for (const auto& [payload, line] : answers) {
    TestClient tc;
    tc.ConnectOnly();
    tc->Login(TestClient::kUser, TestClient::kPassword, u"");
    tc.Forget();
    tc.Answer(1, payload);
    EXPECT_EQ(tc.events.Take(), Lines{line});
    EXPECT_FALSE(tc->LoggedIn());
    EXPECT_FALSE(tc.IsPending(Pending::Login));
    // Back to Connected: another login is accepted.
    tc->Login(TestClient::kUser, TestClient::kPassword, u"");
  }
}

TEST(CoreLoginAnswerRefusals, PayloadOfFourBytesOrLessIsAnInternalError) {
  for (size_t size = 0; size <= 4; ++size) {
    TestClient tc;
    tc.ConnectOnly();
    tc->Login(TestClient::kUser, TestClient::kPassword, u"");
    tc.Forget();
    tc.Answer(1, Bytes(size, 0));
    const auto lines = tc.events.Take();
    EXPECT_EQ(lines, Lines{R"(Error(InternalError, "Subscript out of range"))"}) << size;
    EXPECT_EQ(InternalError, -2147221500);
    EXPECT_FALSE(tc->LoggedIn());
    EXPECT_FALSE(tc.IsPending(Pending::Login));
    EXPECT_EQ(tc.socket->State(), kSocketConnected);
  }
}

TEST(CoreLoginAnswerRefusals, AnswerWithoutPendingLoginIsDropped) {
  TestClient tc;
  tc.ConnectOnly();
  tc.Forget();
  tc.Answer(1, Concat({LongBytes(0), AnsiBytes("OK")}));
  EXPECT_TRUE(tc.events.Lines().empty());
  EXPECT_FALSE(tc->LoggedIn());
}

TEST_F(CoreLoginAnswer, SecondAnswerToOneLoginIsDropped) {
  tc.Answer(1, Concat({LongBytes(7), AnsiBytes("no")}));
  tc.Answer(1, Concat({LongBytes(0), AnsiBytes("OK")}));
  EXPECT_EQ(tc.events.Take(), Lines{R"(LoginFailed(7, "no"))"});
  EXPECT_FALSE(tc->LoggedIn());
}

}  // namespace
}  // namespace moravex
