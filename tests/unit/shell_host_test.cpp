// The shell over a scripted driver: what reaches the driver, the lines every
// driver's results and events print as, hooks, and `until` limits.
#include <gtest/gtest.h>

#include <deque>
#include <limits>

#include "tools/shell/shell_host.h"

namespace moravex::shell {
namespace {

using Args = std::vector<CallArgument>;
using Lines = std::vector<std::string>;

class ScriptedDriver final : public ShellDriver {
 public:
  struct Made {
    std::string name;
    CallKind kind;
    Args args;
    bool operator==(const Made&) const = default;
  };
  std::vector<Made> calls;
  std::deque<CallResult> results;  // then null
  std::deque<std::pair<std::string, std::vector<EventArgument>>> events;
  int idle_pumps = 0;  // pumps that deliver nothing before the events come
  std::vector<int32_t> pumps;
  int fresh_controls = 0;
  EventHandler handler;

  void SetEventHandler(EventHandler h) override { handler = std::move(h); }
  CallResult Call(std::string_view name, CallKind kind, const Args& args) override {
    calls.push_back({std::string(name), kind, args});
    if (results.empty()) return std::monostate{};
    CallResult result = std::move(results.front());
    results.pop_front();
    return result;
  }
  bool Pump(int32_t milliseconds, const std::function<bool()>& done) override {
    pumps.push_back(milliseconds);
    if (idle_pumps > 0) return --idle_pumps, done();
    while (!events.empty() && !done()) {
      const auto event = std::move(events.front());
      events.pop_front();
      handler(event.first, event.second);
    }
    return done();
  }
  void New() override { ++fresh_controls; }
};

struct Shell {
  ScriptedDriver driver;
  Lines out;
  ShellHost host{driver, [this](const std::string& line) { out.push_back(line); }};
  Lines Run(std::initializer_list<const char*> lines) {
    out.clear();
    for (const char* line : lines) host.Execute(line);
    return out;
  }
};

TEST(ShellHost, CallsReachTheDriverByNameAndKindAndTheirResultsPrint) {
  Shell shell;
  shell.driver.results = {std::monostate{}, true, 5000, std::monostate{},
                          CallError{-2147221503, "ChartServiceClient:Login", "Invalid user ID and \"password\""}};
  EXPECT_EQ(
      shell.Run({"Connect \"h\xC3\xA9\" -9000", "Connected", "get DataRequestTimeout",
                 "set DataRequestTimeout 2147483647", R"(Login "a" 7 "")", "Connect h 2147483648", "set Nothing 1",
                 "new"}),
      (Lines{
          R"({"call":"Connect","result":null})", R"({"call":"Connected","result":true})",
          R"({"call":"get DataRequestTimeout","result":5000})", R"({"call":"set DataRequestTimeout","result":null})",
          R"({"call":"Login","error":{"number":-2147221503,"source":"ChartServiceClient:Login","description":"Invalid user ID and \"password\""}})",
          R"({"shell-error":"argument 2 of Connect must be a 32-bit integer"})",
          R"({"shell-error":"unknown property Nothing"})"}));
  EXPECT_EQ(shell.driver.calls,
            (std::vector<ScriptedDriver::Made>{
                {"Connect", CallKind::kMethod, {u"h\u00E9", -9000}},
                {"Connected", CallKind::kMethod, {}},
                {"DataRequestTimeout", CallKind::kPropertyGet, {}},
                {"DataRequestTimeout", CallKind::kPropertyPut, {std::numeric_limits<int32_t>::max()}},
                {"Login", CallKind::kMethod, {u"a", u"7", u""}},  // a number typed for a String goes as text
            }));
  EXPECT_EQ(shell.driver.fresh_controls, 1);
}

TEST(ShellHost, EventsPrintInDeclarationOrderAndRunTheirHooks) {
  Shell shell;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  PriceTable table{
      3, {u"Time", u"Price"}, {{u"09:30:00", {1.5f, 1.25f, nan, -inf}}, {u"\u0085\"", {0, -0.0f, 0.1f, inf}}}};
  shell.driver.events = {
      {"GotFullVantrelData", {{"PriceChannelData", table}}},
      {"GotVantrelDataUpdates", {{"PriceChannelData", std::monostate{}}}},
      {"Error", {{"ErrorID", -2147221500}, {"ErrorDescription", u"Subscript\tout"}}},
      {"Error", {{"ErrorID", 1}, {"ErrorDescription", u"again"}}},
  };
  EXPECT_EQ(
      shell.Run({"once Error get SessionInfoTimeout", "on Error until Timeout", "on Error new", "off Timeout",
                 "until Error"}),
      (Lines{
          R"({"event":"GotFullVantrelData","PriceChannelData":{"RecordCount":3,"Fields":["Time","Price"],"Rows":[["09:30:00",1.5,1.25,"NaN","-Infinity"],["\u0085\"",0,-0,0.1,"Infinity"]]}})",
          R"({"event":"GotVantrelDataUpdates","PriceChannelData":null})",
          R"({"event":"Error","ErrorID":-2147221500,"ErrorDescription":"Subscript\u0009out"})",
          R"({"shell-error":"until cannot run inside an event handler"})",
          R"({"call":"get SessionInfoTimeout","result":null})", R"({"until":"Error","ok":true})"}));
  // `on` stays, `once` went.
  EXPECT_EQ(shell.Run({"until Error"}),
            (Lines{R"({"event":"Error","ErrorID":1,"ErrorDescription":"again"})",
                   R"({"shell-error":"until cannot run inside an event handler"})", R"({"until":"Error","ok":true})"}));
  EXPECT_EQ(shell.driver.fresh_controls, 2);
  // `quit` from a hook ends Run.
  shell.driver.events = {{"Timeout", {{"CommandType", 6}}}, {"Connected", {}}};
  ShellInput input{{"on Timeout quit", "Connected"}, false};
  shell.out.clear();
  shell.host.Run(input);
  EXPECT_EQ(shell.out, (Lines{R"({"call":"Connected","result":null})", R"({"event":"Timeout","CommandType":6})"}));
  EXPECT_TRUE(shell.host.QuitRequested());
}

TEST(ShellHost, FarLimitsWaitInBoundedSlicesInsteadOfOverflowing) {
  for (const char* limit : {"10000000000000", "99999999999999999999"}) {
    Shell shell;
    shell.driver.idle_pumps = 2;
    shell.driver.events = {{"GotDebugMessage", {{"DebugMessage", u"x"}}}};
    EXPECT_EQ(shell.Run({(std::string("until GotDebugMessage ") + limit).c_str()}).back(),
              R"({"until":"GotDebugMessage","ok":true})");
    ASSERT_EQ(shell.driver.pumps.size(), 3u);
    for (int32_t slice : shell.driver.pumps) EXPECT_EQ(slice, std::numeric_limits<int32_t>::max());
  }
  Shell shell;
  EXPECT_EQ(shell.Run({"until Connected 0", "wait 0"}), Lines{R"({"until":"Connected","ok":false})"});
  EXPECT_EQ(shell.driver.pumps, (std::vector<int32_t>{0, 0}));
}

}  // namespace
}  // namespace moravex::shell
