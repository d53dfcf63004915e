// A host may call back into the control from inside any event: disconnect,
// reconnect, issue requests, or throw the control away. None of it may crash
// (run under the sanitizers), and the control's state must stay coherent.
#include <gtest/gtest.h>

#include <stdexcept>

#include "support/test_client.h"

namespace moravex {
namespace {

using Lines = std::vector<std::string>;

const Bytes kTrailer = Frame(0, AnsiBytes("trailer"));

struct Trigger {
  std::string name;
  // The event (line prefix) the host acts in.
  std::string event;
  std::function<void(TestClient&)> prepare;
  std::function<void(TestClient&)> fire;
};

void LoggedInWith(TestClient& tc, const std::function<void(ChartServiceClient&)>& requests) {
  tc.ConnectAndLogin();
  requests(*tc.client);
}

// Answers arrive with more traffic behind them in the same notification.
std::function<void(TestClient&)> AnswerThenTrailer(uint8_t type, Bytes payload) {
  return [type, payload](TestClient& tc) { tc.socket->Arrive(Concat({Frame(type, payload), kTrailer})); };
}

std::vector<Trigger> Triggers() {
  const auto logged_in = [](TestClient& tc) { tc.ConnectAndLogin(); };
  const auto connecting = [](TestClient& tc) { tc->Connect(TestClient::kServer, TestClient::kPort); };
  const auto login_sent = [](TestClient& tc) {
    tc.ConnectOnly();
    tc->Login(TestClient::kUser, TestClient::kPassword, u"");
  };
  const Bytes row = Concat({AnsiBytes("09:30:00"), Bytes(16, 0)});
  return {
      {"Connected", "Connected", connecting, [](TestClient& tc) { tc.socket->FireConnect(); }},
      {"DisconnectedByPeer", "Disconnected", logged_in, [](TestClient& tc) { tc.socket->FirePeerClose(); }},
      {"DisconnectedByError", "Disconnected", logged_in, [](TestClient& tc) { tc.socket->FireError(u"reset"); }},
      {"DisconnectedByBogusLength", "Disconnected", logged_in,
       [](TestClient& tc) { tc.socket->Arrive(Concat({Header(0, 100001), kTrailer})); }},
      {"ConnectionFailed", "ConnectionFailed", connecting, [](TestClient& tc) { tc.socket->FireError(u"refused"); }},
      {"LoggedIn", "LoggedIn", login_sent, AnswerThenTrailer(1, Concat({LongBytes(0), AnsiBytes("OK")}))},
      {"LoginFailed", "LoginFailed", login_sent, AnswerThenTrailer(1, Concat({LongBytes(3), AnsiBytes("no")}))},
      {"ErrorOnShortLogin", "Error", login_sent, AnswerThenTrailer(1, Bytes(2, 0))},
      {"ErrorOnShortPrice", "Error",
       [](TestClient& tc) { LoggedInWith(tc, [](ChartServiceClient& c) { c.GetPreviousSessionsHighPrice(u"A"); }); },
       AnswerThenTrailer(8, Bytes(3, 0))},
      {"ErrorOnTypeMismatch", "Error",
       [](TestClient& tc) {
         LoggedInWith(tc, [](ChartServiceClient& c) { c.GetFullPriceChannelData(u"A", 1); });
         struct Foreign : HostObject {};
         tc.events.on_rows = [](ObjectRef& rows) { rows = std::make_shared<Foreign>(); };
       },
       AnswerThenTrailer(5, {})},
      {"GotDebugMessage", "GotDebugMessage", logged_in, AnswerThenTrailer(0, AnsiBytes("dbg"))},
      {"GotSessionDateTime", "GotSessionDateTime",
       [](TestClient& tc) { LoggedInWith(tc, [](ChartServiceClient& c) { c.GetSessionDateTime(); }); },
       AnswerThenTrailer(2, AnsiBytes("x"))},
      {"GotSessionDate", "GotSessionDate",
       [](TestClient& tc) { LoggedInWith(tc, [](ChartServiceClient& c) { c.GetSessionDate(); }); },
       AnswerThenTrailer(3, AnsiBytes("x"))},
      {"GotSessionTime", "GotSessionTime",
       [](TestClient& tc) { LoggedInWith(tc, [](ChartServiceClient& c) { c.GetSessionTime(); }); },
       AnswerThenTrailer(4, AnsiBytes("x"))},
      {"GotFullVantrelData", "GotFullVantrelData",
       [](TestClient& tc) { LoggedInWith(tc, [](ChartServiceClient& c) { c.GetFullPriceChannelData(u"A", 1); }); },
       AnswerThenTrailer(5, row)},
      {"GotVantrelDataUpdates", "GotVantrelDataUpdates",
       [](TestClient& tc) {
         LoggedInWith(tc, [](ChartServiceClient& c) { c.GetPriceChannelDataUpdates(u"A", u"2026-12-08 09:30:00"); });
       },
       AnswerThenTrailer(6, row)},
      {"GotPreviousSessionsLastAverageVantrelPrice", "GotPreviousSessionsLastAverageVantrelPrice",
       [](TestClient& tc) {
         LoggedInWith(tc, [](ChartServiceClient& c) { c.GetPreviousSessionsLastAverageVantrelPrice(u"A"); });
       },
       AnswerThenTrailer(7, SingleBytes(1))},
      {"GotPreviousSessionsHighPrice", "GotPreviousSessionsHighPrice",
       [](TestClient& tc) { LoggedInWith(tc, [](ChartServiceClient& c) { c.GetPreviousSessionsHighPrice(u"A"); }); },
       AnswerThenTrailer(8, SingleBytes(1))},
      {"GotPreviousSessionsLowPrice", "GotPreviousSessionsLowPrice",
       [](TestClient& tc) { LoggedInWith(tc, [](ChartServiceClient& c) { c.GetPreviousSessionsLowPrice(u"A"); }); },
       AnswerThenTrailer(9, SingleBytes(1))},
      {"GotPreviousSessionsClosingPrice", "GotPreviousSessionsClosingPrice",
       [](TestClient& tc) {
         LoggedInWith(tc, [](ChartServiceClient& c) { c.GetPreviousSessionsClosingPrice(u"A"); });
       },
       AnswerThenTrailer(10, SingleBytes(1))},
      {"GotPreviousSessionsSupportAndResistancePrices", "GotPreviousSessionsSupportAndResistancePrices",
       [](TestClient& tc) {
         LoggedInWith(tc, [](ChartServiceClient& c) { c.GetPreviousSessionsSupportAndResistancePrices(u"A"); });
       },
       AnswerThenTrailer(11, {})},
      {"TimeoutOfData", "Timeout",
       [](TestClient& tc) {
         LoggedInWith(tc, [](ChartServiceClient& c) {
           c.GetPriceChannelDataUpdates(u"A", u"2026-12-08 09:30:00");
           c.GetFullPriceChannelData(u"A", 1);
         });
       },
       [](TestClient& tc) { tc.data_timer->Tick(); }},
      {"TimeoutOfSessionInfo", "Timeout",
       [](TestClient& tc) {
         LoggedInWith(tc, [](ChartServiceClient& c) {
           c.GetSessionTime();
           c.GetPreviousSessionsSupportAndResistancePrices(u"A");
         });
       },
       [](TestClient& tc) { tc.session_timer->Tick(); }},
      {"TimeoutOfConnect", "Timeout", connecting, [](TestClient& tc) { tc.login_timer->Tick(); }},
  };
}

// A host that ignores whatever the control raises at it.
template <class Call>
void Tolerant(Call&& call) {
  try {
    call();
  } catch (const Failure&) {
  }
}

void IssueEverything(TestClient& tc) {
  ChartServiceClient& c = *tc.client;
  Tolerant([&] { c.Login(TestClient::kUser, TestClient::kPassword, u""); });
  Tolerant([&] { c.SendDebugMessage(u"from a handler"); });
  Tolerant([&] { c.GetFullPriceChannelData(u"IBM", 1); });
  Tolerant([&] { c.GetPriceChannelDataUpdates(u"IBM", u"2026-12-08 09:30:00"); });
  Tolerant([&] { c.GetSessionTime(); });
  Tolerant([&] { c.GetSessionDate(); });
  Tolerant([&] { c.GetSessionDateTime(); });
  Tolerant([&] { c.GetPreviousSessionsLastAverageVantrelPrice(u"IBM"); });
  Tolerant([&] { c.GetPreviousSessionsHighPrice(u"IBM"); });
  Tolerant([&] { c.GetPreviousSessionsLowPrice(u"IBM"); });
  Tolerant([&] { c.GetPreviousSessionsClosingPrice(u"IBM"); });
  Tolerant([&] { c.GetPreviousSessionsSupportAndResistancePrices(u"IBM"); });
}

struct HostAction {
  std::string name;
  std::function<void(TestClient&)> act;
};

std::vector<HostAction> Actions() {
  return {
      {"Disconnect", [](TestClient& tc) { Tolerant([&] { tc->Disconnect(); }); }},
      {"Connect", [](TestClient& tc) { Tolerant([&] { tc->Connect(u"again", 1); }); }},
      {"Requests", IssueEverything},
      {"Destroy", [](TestClient& tc) { tc.DropClient(); }},
      // Whatever a handler throws stops at its event.
      {"Throw", [](TestClient&) { throw std::runtime_error("host handler failed"); }},
      {"Replace", [](TestClient& tc) { tc.ReplaceClient(); }},
  };
}

// Whatever is left afterwards keeps working: more traffic, ticks, calls.
void Aftermath(TestClient& tc) {
  if (!tc.client) return;
  tc.socket->Arrive(kTrailer);
  for (const auto& timer : {tc.login_timer, tc.data_timer, tc.session_timer}) timer->Tick();
  Tolerant([&] { tc->Disconnect(); });
  tc.socket->SetState(kSocketClosed);
  tc.events.Take();
  tc.ConnectAndLogin();
  tc->GetSessionTime();
  tc.Answer(4, AnsiBytes("still working"));
  EXPECT_EQ(tc.events.Take(), Lines{R"(GotSessionTime("still working"))"});
}

TEST(CoreReentrancy, HostMayDoAnythingFromInsideEveryEvent) {
  for (const Trigger& trigger : Triggers()) {
    for (const HostAction& action : Actions()) {
      SCOPED_TRACE(trigger.name + " / " + action.name);
      TestClient tc;
      trigger.prepare(tc);
      tc.events.Take();
      bool acted = false;
      size_t lines_when_acted = 0;
      tc.events.on_event = [&](const std::string& line) {
        if (acted || line.rfind(trigger.event + "(", 0) != 0) return;
        acted = true;
        lines_when_acted = tc.events.Lines().size();
        action.act(tc);
      };
      trigger.fire(tc);
      ASSERT_TRUE(acted) << ::testing::PrintToString(tc.events.Lines());
      if (action.name == "Destroy") {
        // A detached host hears nothing more.
        EXPECT_EQ(tc.events.Lines().size(), lines_when_acted);
        EXPECT_FALSE(tc.socket->Attached());
        continue;
      }
      tc.events.on_event = nullptr;
      tc.events.on_rows = nullptr;
      Aftermath(tc);
    }
  }
}

// A reference-counted sink released, with the control, from inside any event
// stays alive until that event returns (a use-after-free under ASan otherwise).
TEST(CoreReentrancy, SinkReleasedInsideEveryEventLivesUntilTheEventReturns) {
  for (const Trigger& trigger : Triggers()) {
    SCOPED_TRACE(trigger.name);
    TestClient tc;
    trigger.prepare(tc);
    tc.events.Take();
    std::weak_ptr<RecordingEvents> watch = tc.sink;
    bool released = false;
    tc.events.on_event = [&](const std::string& line) {
      if (released || line.rfind(trigger.event + "(", 0) != 0) return;
      released = true;
      tc.DropClient();
      tc.sink.reset();
      // Still inside the handler: the sink, and this handler with it, are intact.
      EXPECT_EQ(watch.lock()->Lines().back(), line);
    };
    trigger.fire(tc);
    EXPECT_TRUE(released);
    EXPECT_TRUE(watch.expired());
  }
}

TEST(CoreReentrancy, AThrowingHandlerDoesNotStopTheControl) {
  TestClient tc;
  tc.ConnectAndLogin();
  tc.events.on_event = [](const std::string&) { throw std::runtime_error("host handler failed"); };
  // The rest of a notification is still read, and nothing is reset.
  tc->GetSessionDate();
  tc.socket->Arrive(Concat({Frame(3, AnsiBytes("d")), kTrailer}));
  EXPECT_EQ(tc.events.Take(), (Lines{R"(GotSessionDate("d"))", R"(GotDebugMessage("trailer"))"}));
  EXPECT_TRUE(tc->LoggedIn());
  // Every pending request of a tick is still reported.
  tc->GetSessionTime();
  tc->GetPreviousSessionsLowPrice(u"A");
  EXPECT_TRUE(tc.session_timer->Tick());
  EXPECT_EQ(tc.events.Take(), (Lines{"Timeout(6)", "Timeout(9)"}));
  // The connection events too.
  tc.socket->FirePeerClose();
  tc.socket->SetState(kSocketClosed);
  tc->Connect(TestClient::kServer, TestClient::kPort);
  tc.socket->FireConnect();
  EXPECT_EQ(tc.events.Take(), (Lines{R"(Disconnected("Winsock1_Close"))", "Connected()"}));
  EXPECT_TRUE(tc->Connected());
}

TEST(CoreReentrancy, DisconnectInsideADataEventStopsTheRestOfTheNotification) {
  TestClient tc;
  tc.ConnectAndLogin();
  tc->GetSessionDate();
  tc->GetSessionTime();
  tc.events.on_event = [&](const std::string& line) {
    if (line.rfind("GotSessionDate(", 0) == 0) tc->Disconnect();
  };
  tc.socket->Arrive(Concat({Frame(3, AnsiBytes("d")), Frame(4, AnsiBytes("t")), kTrailer}));
  EXPECT_EQ(tc.events.Take(), Lines{R"(GotSessionDate("d"))"});
  EXPECT_EQ(tc->State().ReceiveState, AwaitingHeader);
  EXPECT_EQ(tc->State().HeaderBytesReceived, 0);
  EXPECT_FALSE(tc.AnyPending());
}

TEST(CoreReentrancy, ReconnectFromInsideDisconnectedStartsClean) {
  TestClient tc;
  tc.ConnectAndLogin();
  tc->GetSessionTime();
  tc.events.on_event = [&](const std::string& line) {
    if (line.rfind("Disconnected(", 0) == 0) tc->Connect(u"backup", 2);
  };
  tc.socket->FirePeerClose();
  tc.events.on_event = nullptr;
  EXPECT_EQ(tc.events.Take(), Lines{R"(Disconnected("Winsock1_Close"))"});
  EXPECT_TRUE(tc.IsPending(Pending::Connect));
  EXPECT_FALSE(tc.IsPending(Pending::SessionTime));
  EXPECT_TRUE(tc.login_timer->Enabled());
  EXPECT_FALSE(tc.session_timer->Enabled());
  tc.socket->FireConnect();
  tc->Login(TestClient::kUser, TestClient::kPassword, u"");
  tc.Answer(1, Concat({LongBytes(0), AnsiBytes("OK")}));
  EXPECT_EQ(tc.events.Take(), (Lines{"Connected()", "LoggedIn()"}));
}

TEST(CoreReentrancy, ControlDestroyedInsideATimeoutFinishesTheTickQuietly) {
  TestClient tc;
  tc.ConnectAndLogin();
  tc->GetSessionTime();
  tc->GetSessionDate();
  std::weak_ptr<ChartServiceClient> watch = tc.client;
  tc.events.on_event = [&](const std::string&) { tc.DropClient(); };
  auto timer = tc.session_timer;
  EXPECT_TRUE(timer->Tick());
  EXPECT_EQ(tc.events.Take(), Lines{"Timeout(6)"});
  EXPECT_TRUE(watch.expired());
  EXPECT_FALSE(timer->HasTickHandler());
  EXPECT_FALSE(timer->Tick());
}

TEST(CoreReentrancy, ControlDestroyedInsideADataEventReadsNoFurther) {
  TestClient tc;
  tc.ConnectAndLogin();
  std::weak_ptr<ChartServiceClient> watch = tc.client;
  tc.events.on_event = [&](const std::string&) { tc.DropClient(); };
  auto socket = tc.socket;
  socket->Arrive(Concat({Frame(0, AnsiBytes("one")), Frame(0, AnsiBytes("two"))}));
  EXPECT_EQ(tc.events.Take(), Lines{R"(GotDebugMessage("one"))"});
  EXPECT_TRUE(watch.expired());
  EXPECT_FALSE(socket->Attached());
}

}  // namespace
}  // namespace moravex
