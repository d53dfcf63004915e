// Connection, login, debug messages and time-outs, end to end.
#include <gtest/gtest.h>

#include "tests/integration/shell_session.h"

namespace moravex::testing {
namespace {

using Lines = std::vector<std::string>;

class Session : public ShellSession {};

constexpr const char* kConnectOk = R"({"call":"Connect","result":null})";
constexpr const char* kLoginOk = R"({"call":"Login","result":null})";
constexpr const char* kConnected = R"({"event":"Connected"})";

TEST_F(Session, ConnectLogInExchangeDebugTextAndDisconnect) {
  Start();
  EXPECT_EQ(Call("Connected"), R"({"call":"Connected","result":false})");
  ConnectAndLogin();
  EXPECT_EQ(Call("Connected"), R"({"call":"Connected","result":true})");
  EXPECT_EQ(Call("LoggedIn"), R"({"call":"LoggedIn","result":true})");

  EXPECT_EQ(CallUntil(R"(SendDebugMessage "hello \u0000 w\u00f6rld")", "GotDebugMessage"),
            (Lines{R"({"call":"SendDebugMessage","result":null})",
                   R"({"event":"GotDebugMessage","DebugMessage":"hello \u0000 wörld"})"}));

  EXPECT_EQ(Call("Disconnect"), R"({"call":"Disconnect","result":null})");
  EXPECT_EQ(Wait(200), Lines{});  // a disconnect the host asked for is not reported back
  EXPECT_EQ(Call("LoggedIn"), R"({"call":"LoggedIn","result":false})");
  EXPECT_EQ(
      Call("Disconnect"),
      R"({"call":"Disconnect","error":{"number":-2147221504,"source":"ChartServiceClient:Disconnect","description":"Not connected"}})");
}

TEST_F(Session, RefusedConnectionFiresConnectionFailed) {
  StartShellOnly();
  EXPECT_EQ(CallUntil("Connect 127.0.0.1 " + std::to_string(ClosedPort()), "ConnectionFailed"),
            (Lines{kConnectOk, R"({"event":"ConnectionFailed"})"}));
  EXPECT_EQ(Call("Connected"), R"({"call":"Connected","result":false})");
}

TEST_F(Session, WrongStateAndBadCredentialsAreRefused) {
  Start();
  EXPECT_EQ(
      Call(LoginCommand()),
      R"({"call":"Login","error":{"number":-2147221504,"source":"ChartServiceClient:Login","description":"Not connected"}})");
  EXPECT_EQ(CallUntil(ConnectCommand(), "Connected"), (Lines{kConnectOk, kConnected}));
  EXPECT_EQ(
      Call(R"(Login "short" "short" "")"),
      R"({"call":"Login","error":{"number":-2147221503,"source":"ChartServiceClient:Login","description":"Invalid user ID and password combination"}})");
  EXPECT_EQ(
      Call("GetSessionDate"),
      R"({"call":"GetSessionDate","error":{"number":-2147221499,"source":"ChartServiceClient:GetSessionDate","description":"Not logged in"}})");
  EXPECT_EQ(
      Call(ConnectCommand()),
      R"({"call":"Connect","error":{"number":-2147221498,"source":"ChartServiceClient:Connect","description":"Already connected"}})");
}

TEST_F(Session, ServerRefusesTheLogin) {
  Start({"--login-refuse", "7:Account locked"});
  CallUntil(ConnectCommand(), "Connected");
  EXPECT_EQ(CallUntil(LoginCommand(), "LoginFailed"),
            (Lines{kLoginOk, R"({"event":"LoginFailed","ErrorID":7,"ErrorDescription":"Account locked"})"}));
  EXPECT_EQ(Call("LoggedIn"), R"({"call":"LoggedIn","result":false})");
}

TEST_F(Session, WrongPasswordIsRefusedByTheServer) {
  Start();
  CallUntil(ConnectCommand(), "Connected");
  const Lines lines = CallUntil("Login \"" + kUser + "\" \"" + std::string(36, 'x') + "\" \"cookie\"", "LoginFailed");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].rfind(R"({"event":"LoginFailed","ErrorID":1,)", 0), 0u) << lines[1];
}

TEST_F(Session, MalformedLoginAnswerFiresError) {
  Start({"--login-malformed"});
  CallUntil(ConnectCommand(), "Connected");
  EXPECT_EQ(
      CallUntil(LoginCommand(), "Error"),
      (Lines{kLoginOk, R"({"event":"Error","ErrorID":-2147221500,"ErrorDescription":"Subscript out of range"})"}));
  EXPECT_EQ(Call("LoggedIn"), R"({"call":"LoggedIn","result":false})");
}

TEST_F(Session, UnansweredLoginTimesOutAndMayBeRetried) {
  Start({"--never", "1"});
  EXPECT_EQ(Call("set LoginAndConnectTimeout 150"), R"({"call":"set LoginAndConnectTimeout","result":null})");
  EXPECT_EQ(Call("get LoginAndConnectTimeout"), R"({"call":"get LoginAndConnectTimeout","result":150})");
  EXPECT_EQ(Call("get DataRequestTimeout"), R"({"call":"get DataRequestTimeout","result":5000})");
  CallUntil(ConnectCommand(), "Connected");
  EXPECT_EQ(CallUntil(LoginCommand(), "Timeout"), (Lines{kLoginOk, R"({"event":"Timeout","CommandType":1})"}));
  EXPECT_EQ(Call(LoginCommand()), kLoginOk);
}

TEST_F(Session, PeerClosingMidMessageEndsTheSession) {
  Start({"--close-mid", "0"});
  ConnectAndLogin();
  EXPECT_EQ(CallUntil(R"(SendDebugMessage "a message long enough to be cut")", "Disconnected"),
            (Lines{R"({"call":"SendDebugMessage","result":null})",
                   R"({"event":"Disconnected","strReason":"Winsock1_Close"})"}));
  EXPECT_EQ(Call("LoggedIn"), R"({"call":"LoggedIn","result":false})");
}

TEST_F(Session, OversizedAndNegativeLengthsDropTheConnection) {
  for (const auto& [length, reason] :
       {std::pair{"100001:0", "Bogus payload length"}, std::pair{"-1:0", "Winsock1_DataArrival exception"}}) {
    Start({"--bogus-length", length});
    ConnectAndLogin();
    const Lines lines = CallUntil(R"(SendDebugMessage "x")", "Disconnected");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], std::string(R"({"event":"Disconnected","strReason":")") + reason + "\"}");
    EXPECT_EQ(Call("Connected"), R"({"call":"Connected","result":false})");
  }
}

TEST_F(Session, AnswersWrittenOneByteAtATimeAreReassembled) {
  Start({"--chunk", "1"});
  ConnectAndLogin();
  EXPECT_EQ(CallUntil(R"(SendDebugMessage "split into single bytes")", "GotDebugMessage")[1],
            R"({"event":"GotDebugMessage","DebugMessage":"split into single bytes"})");
}

TEST_F(Session, HandlersMayReconnectOrReplaceTheControl) {
  Start({"--close-mid", "0"});
  ConnectAndLogin();
  // Reconnect from inside Disconnected, then replace the control from inside Connected.
  shell_->WriteLine("once Disconnected " + ConnectCommand());
  shell_->WriteLine("once Connected new");
  EXPECT_EQ(CallUntil(R"(SendDebugMessage "cut me off")", "Connected"),
            (Lines{R"({"call":"SendDebugMessage","result":null})",
                   R"({"event":"Disconnected","strReason":"Winsock1_Close"})", kConnectOk, kConnected}));
  EXPECT_EQ(Call("Connected"), R"({"call":"Connected","result":false})");  // the fresh control
  EXPECT_EQ(Call("get SessionInfoTimeout"), R"({"call":"get SessionInfoTimeout","result":5000})");
  EXPECT_EQ(Wait(100), Lines{});  // the old control fires nothing more
}

TEST_F(Session, ControlReplacedFromInsideTimerAndDataEvents) {
  Start({"--never", "1"});
  Call("set LoginAndConnectTimeout 100");
  CallUntil(ConnectCommand(), "Connected");
  shell_->WriteLine("once Timeout new");
  EXPECT_EQ(CallUntil(LoginCommand(), "Timeout"), (Lines{kLoginOk, R"({"event":"Timeout","CommandType":1})"}));
  EXPECT_EQ(Call("get LoginAndConnectTimeout"), R"({"call":"get LoginAndConnectTimeout","result":5000})");

  CallUntil(ConnectCommand(), "Connected");
  shell_->WriteLine("once GotDebugMessage new");
  // Two messages in flight (sent in one write, so both go before any echo): the
  // second reaches the discarded control only.
  EXPECT_EQ(CallUntil("SendDebugMessage \"first\"\nSendDebugMessage \"second\"", "GotDebugMessage"),
            (Lines{R"({"call":"SendDebugMessage","result":null})", R"({"call":"SendDebugMessage","result":null})",
                   R"({"event":"GotDebugMessage","DebugMessage":"first"})"}));
  EXPECT_EQ(Wait(200), Lines{});
  EXPECT_EQ(Call("Connected"), R"({"call":"Connected","result":false})");
}

TEST_F(Session, ShellReportsLinesItCannotParseAndGoesOn) {
  StartShellOnly();
  EXPECT_EQ(Call("Frobnicate 1"), R"({"shell-error":"unknown command Frobnicate"})");
  EXPECT_EQ(Call(R"(SendDebugMessage "unterminated)"), R"({"shell-error":"unterminated string"})");
  EXPECT_EQ(Call("Connect 127.0.0.1 port"), R"({"shell-error":"argument 2 of Connect must be a 32-bit integer"})");
  EXPECT_EQ(
      Call("set DataRequestTimeout -5"),
      R"({"call":"set DataRequestTimeout","error":{"number":-2146827908,"source":"tmrDataRequestTimeout","description":"Invalid property value"}})");
  shell_->WriteLine("quit");
  EXPECT_EQ(shell_->Wait(), 0);
}

}  // namespace
}  // namespace moravex::testing
