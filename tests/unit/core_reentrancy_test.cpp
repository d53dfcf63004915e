// A host may call back into the control from inside any event: disconnect,
// reconnect, issue requests, or throw the control away. None of it may crash
// (run under the sanitizers), and the control's state must stay coherent.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "tests/support/data_request_table.h"
#include "tests/support/test_client.h"

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
       [](TestClient& tc) {
         tc.socket->Arrive(Concat({Header(0, 100001), kTrailer}));
       }},
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
       [](TestClient& tc) { LoggedInWith(tc, [](ChartServiceClient& c) { c.GetPreviousSessionsClosingPrice(u"A"); }); },
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
  } catch (const Failure&) {}
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
  EXPECT_EQ(tc->Receiving().ReceiveState, ReceiveStates::AwaitingHeader);
  EXPECT_EQ(tc->Receiving().HeaderBytesReceived, 0);
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

namespace moravex {
namespace {

// A host that pumps messages inside any event (DoEvents, a modal loop) hears
// what arrives then before its handler returns: first whatever of the outer
// notification still waited, then the new bytes, in wire order, each once; a
// close pumped behind them comes after them. The outer loop then carries on
// from where the nested one left the stream.
TEST(CoreReentrancy, DataPumpedInsideEveryEventIsDispatchedBeforeTheHandlerReturns) {
  const Bytes split = Frame(0, AnsiBytes("split"));
  const Bytes split_head(split.begin(), split.begin() + 3);
  const Bytes split_rest(split.begin() + 3, split.end());
  for (const bool then_close : {false, true}) {
    for (const Trigger& trigger : Triggers()) {
      SCOPED_TRACE(trigger.name + (then_close ? " / data then close" : " / data"));
      TestClient tc;
      trigger.prepare(tc);
      tc.events.Take();
      bool pumped = false;
      bool open = false;
      bool trailer_waits = false;
      Lines inside;
      size_t handler_end = 0;
      tc.events.on_event = [&](const std::string& line) {
        if (pumped || line.rfind(trigger.event + "(", 0) != 0) return;
        pumped = true;
        open = tc.socket->State() != kSocketClosed;
        trailer_waits = tc.socket->BytesReceived() > 0;
        const size_t before = tc.events.Lines().size();
        tc.socket->PostArrival(Concat({Frame(0, AnsiBytes("nested")), split_head}));
        if (then_close) tc.socket->PostPeerClose();
        while (tc.socket->PumpOne()) {}
        inside.assign(tc.events.Lines().begin() + static_cast<std::ptrdiff_t>(before), tc.events.Lines().end());
        handler_end = tc.events.Lines().size();
      };
      trigger.fire(tc);
      ASSERT_TRUE(pumped);
      tc.events.on_event = nullptr;
      tc.events.on_rows = nullptr;
      Lines expected;
      if (open) {
        if (trailer_waits) expected.push_back(R"(GotDebugMessage("trailer"))");
        expected.push_back(R"(GotDebugMessage("nested"))");
        if (then_close) expected.push_back(R"(Disconnected("Winsock1_Close"))");
      }
      EXPECT_EQ(inside, expected);
      // No data was left for after the handler (a tick may still report its
      // next request).
      const Lines all = tc.events.Take();
      for (size_t i = handler_end; i < all.size(); ++i) {
        EXPECT_EQ(all[i].rfind("GotDebugMessage(", 0), std::string::npos) << all[i];
      }
      if (open && !then_close) {
        tc.socket->Arrive(split_rest);
        EXPECT_EQ(tc.events.Take(), Lines{R"(GotDebugMessage("split"))"});
      }
      if (then_close) {
        EXPECT_FALSE(tc->LoggedIn());
        EXPECT_FALSE(tc.AnyPending());
      }
      Aftermath(tc);
    }
  }
}

struct AnswerOf {
  const char* event;
  Bytes payload;
};

AnswerOf ServerAnswer(uint8_t type) {
  const Bytes row = Concat({AnsiBytes("09:30:00"), SingleBytes(1), SingleBytes(2), SingleBytes(3), SingleBytes(4)});
  switch (type) {
    case 1: return {"LoggedIn", Concat({LongBytes(0), AnsiBytes("OK")})};
    case 2: return {"GotSessionDateTime", AnsiBytes("12/8/2026 9:30:00 AM")};
    case 3: return {"GotSessionDate", AnsiBytes("12/8/2026")};
    case 4: return {"GotSessionTime", AnsiBytes("9:30:00 AM")};
    case 5: return {"GotFullVantrelData", row};
    case 6: return {"GotVantrelDataUpdates", Concat({row, row})};
    case 7: return {"GotPreviousSessionsLastAverageVantrelPrice", SingleBytes(7)};
    case 8: return {"GotPreviousSessionsHighPrice", SingleBytes(8)};
    case 9: return {"GotPreviousSessionsLowPrice", SingleBytes(9)};
    case 10: return {"GotPreviousSessionsClosingPrice", SingleBytes(10)};
    default:
      return {"GotPreviousSessionsSupportAndResistancePrices",
              Concat({SingleBytes(1), SingleBytes(2), SingleBytes(3), SingleBytes(4)})};
  }
}

// Each handler makes the next request and waits, pumping, for its answer: the
// ten requests nest ten handlers deep inside LoggedIn. Every answer reaches
// its handler in time, and every text argument stays put through the deeper
// dispatches (the recorder checks that).
TEST(CoreReentrancy, HandlersThatWaitForTheirAnswersGetThemAtEveryDepth) {
  TestClient tc;
  tc.ConnectOnly();
  tc.Forget();
  // A server that answers every request at once.
  tc.socket->on_send = [&](const Bytes& written) {
    tc.socket->PostArrival(Frame(written[0], ServerAnswer(written[0]).payload));
  };
  const std::vector<DataRequestCase>& requests = DataRequests();
  size_t next = 0;
  int depth = 0;
  int deepest = 0;
  tc.events.on_event = [&](const std::string&) {
    if (next == requests.size()) return;
    const DataRequestCase& request = requests[next++];
    const std::string awaited = std::string(ServerAnswer(request.message_type).event) + "(";
    const size_t before = tc.events.Lines().size();
    request.call(*tc.client, u"IBM");
    deepest = std::max(deepest, ++depth);
    bool answered = false;
    while (!answered && tc.socket->PumpOne()) {
      for (size_t i = before; i < tc.events.Lines().size(); ++i) {
        if (tc.events.Lines()[i].rfind(awaited, 0) == 0) answered = true;
      }
    }
    --depth;
    EXPECT_TRUE(answered) << request.method;
  };
  tc->Login(TestClient::kUser, TestClient::kPassword, u"");
  EXPECT_TRUE(tc.socket->PumpOne());
  tc.events.on_event = nullptr;
  EXPECT_EQ(deepest, static_cast<int>(requests.size()));
  const Lines lines = tc.events.Take();
  ASSERT_EQ(lines.size(), requests.size() + 1);
  EXPECT_EQ(lines[0], "LoggedIn()");
  for (size_t i = 0; i < requests.size(); ++i) {
    EXPECT_EQ(lines[i + 1].rfind(std::string(ServerAnswer(requests[i].message_type).event) + "(", 0), 0u)
        << lines[i + 1];
  }
  EXPECT_FALSE(tc.AnyPending());
  EXPECT_TRUE(tc->LoggedIn());
}

// Two answers and the server's close in one segment, and a handler of the
// first that runs one pump pass: the second answer still comes, then the close.
TEST(CoreReentrancy, AClosePumpedInsideAHandlerComesAfterTheAnswersBeforeIt) {
  TestClient tc;
  tc.ConnectAndLogin();
  tc->GetSessionDate();
  tc->GetSessionTime();
  tc.events.on_event = [&](const std::string& line) {
    if (line.rfind("GotSessionDate(", 0) == 0) tc.socket->PumpOne();
  };
  const int closes = tc.socket->CloseCalls();
  tc.socket->PostPeerClose();
  tc.socket->Arrive(Concat({Frame(3, AnsiBytes("d")), Frame(4, AnsiBytes("t"))}));
  EXPECT_EQ(tc.events.Take(),
            (Lines{R"(GotSessionDate("d"))", R"(GotSessionTime("t"))", R"(Disconnected("Winsock1_Close"))"}));
  EXPECT_EQ(tc.socket->CloseCalls(), closes + 1);
}

// Whatever ends the connection inside a nested event ends it for the handlers
// further out too: they read and report nothing more of it, and a connection
// the host opened in there is left to its own notifications.
TEST(CoreReentrancy, AnEndingInsideANestedEventLeavesTheOuterLevelsSafe) {
  const std::vector<HostAction> endings = {
      {"Disconnect", [](TestClient& tc) { tc->Disconnect(); }},
      {"BogusLength", [](TestClient& tc) { tc.socket->Arrive(Header(0, 100001)); }},
      {"NegativeLength", [](TestClient& tc) { tc.socket->Arrive(Header(0, -1)); }},
      {"PeerClose", [](TestClient& tc) { tc.socket->FirePeerClose(); }},
      {"Destroy", [](TestClient& tc) { tc.DropClient(); }},
      {"Replace", [](TestClient& tc) { tc.ReplaceClient(); }},
      {"Reconnect",
       [](TestClient& tc) {
         tc->Disconnect();
         tc->Connect(u"again", 1);
         tc.socket->FireConnect();
         tc.socket->Arrive(Concat({Frame(0, AnsiBytes("new connection")), Header(0, 3)}));
       }},
  };
  for (const HostAction& ending : endings) {
    SCOPED_TRACE(ending.name);
    TestClient tc;
    tc.ConnectAndLogin();
    tc->GetSessionDate();
    auto socket = tc.socket;
    const int closes = socket->CloseCalls();
    tc.events.on_event = [&](const std::string& line) {
      if (line == R"(GotSessionDate("d"))") {
        socket->Arrive(Concat({Frame(0, AnsiBytes("nested")), Frame(0, AnsiBytes("later"))}));
      } else if (line == R"(GotDebugMessage("nested"))") {
        ending.act(tc);
      }
    };
    socket->Arrive(Concat({Frame(3, AnsiBytes("d")), Frame(0, AnsiBytes("after"))}));
    tc.events.on_event = nullptr;
    Lines expected = {R"(GotSessionDate("d"))", R"(GotDebugMessage("after"))", R"(GotDebugMessage("nested"))"};
    // A nested arrival reads what still waited first.
    if (ending.name == "BogusLength" || ending.name == "NegativeLength") {
      expected.push_back(R"(GotDebugMessage("later"))");
    }
    if (ending.name == "BogusLength") expected.push_back(R"(Disconnected("Bogus payload length"))");
    if (ending.name == "NegativeLength") expected.push_back(R"(Disconnected("Winsock1_DataArrival exception"))");
    if (ending.name == "PeerClose") expected.push_back(R"(Disconnected("Winsock1_Close"))");
    if (ending.name == "Reconnect") {
      expected.push_back("Connected()");
      expected.push_back(R"(GotDebugMessage("new connection"))");
    }
    EXPECT_EQ(tc.events.Take(), expected);
    if (ending.name == "Destroy") {
      EXPECT_FALSE(socket->Attached());
      continue;
    }
    if (ending.name == "Reconnect") {
      // The new connection's half-read frame is intact.
      EXPECT_EQ(tc->Receiving().ReceiveState, ReceiveStates::AwaitingPayload);
      tc.socket->Arrive(AnsiBytes("new"));
      EXPECT_EQ(tc.events.Take(), Lines{R"(GotDebugMessage("new"))"});
    } else if (ending.name != "Replace") {
      EXPECT_FALSE(tc->Connected());
      EXPECT_EQ(socket->CloseCalls(), closes + 1);
    }
    Aftermath(tc);
  }
}

}  // namespace
}  // namespace moravex
