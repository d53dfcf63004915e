// Every market-data method through the shell against the simulator, with the
// simulator's fault injection.
#include <gtest/gtest.h>

#include <regex>

#include "tests/integration/shell_session.h"

namespace moravex::testing {
namespace {

using Lines = std::vector<std::string>;

constexpr const char* kFields =
    R"("Fields":["Time","BuyReferencePrice","SellReferencePrice","Price","PriceOffsetPercent"])";

class MarketData : public ShellSession {
 protected:
  void StartLoggedIn(std::vector<std::string> simulator_options = {}) {
    Start(std::move(simulator_options));
    ConnectAndLogin();
  }
  // The event line that answers a call.
  std::string Answer(const std::string& command, const std::string& event) {
    const Lines lines = CallUntil(command, event);
    EXPECT_EQ(lines.size(), 2u) << ::testing::PrintToString(lines);
    return lines.size() == 2 ? lines[1] : "";
  }
};

std::vector<std::string> RowTimes(const std::string& line) {
  std::vector<std::string> times;
  static const std::regex kTime(R"(\["(\d\d:\d\d:\d\d)\",)");
  for (std::sregex_iterator it(line.begin(), line.end(), kTime), end; it != end; ++it) times.push_back((*it)[1]);
  return times;
}

std::string Member(const std::string& line, const std::string& name) {
  const std::regex member("\"" + name + "\":([^,}]*)");
  std::smatch match;
  return std::regex_search(line, match, member) ? match[1].str() : "";
}

TEST_F(MarketData, SessionDateAndTimeTextsArriveUnchanged) {
  StartLoggedIn();
  EXPECT_EQ(Answer("GetSessionDate", "GotSessionDate"),
            R"({"event":"GotSessionDate","CurrentSessionDate":"12/08/2026"})");
  EXPECT_EQ(Answer("GetSessionTime", "GotSessionTime"),
            R"({"event":"GotSessionTime","CurrentSessionTime":"09:45:00"})");
  EXPECT_EQ(Answer("GetSessionDateTime", "GotSessionDateTime"),
            R"({"event":"GotSessionDateTime","CurrentSessionDateTime":"12/08/2026 09:45:00"})");
}

TEST_F(MarketData, FullDataAndUpdatesArriveAsRowTables) {
  StartLoggedIn();
  const std::string full = Answer("GetFullPriceChannelData IBM 3", "GotFullVantrelData");
  EXPECT_NE(full.find(std::string(R"({"event":"GotFullVantrelData","PriceChannelData":{"RecordCount":3,)") + kFields),
            std::string::npos)
      << full;
  EXPECT_EQ(RowTimes(full), (Lines{"09:43:00", "09:44:00", "09:45:00"}));

  const std::string updates = Answer(R"(GetPriceChannelDataUpdates IBM "12/8/2026 9:43 AM")", "GotVantrelDataUpdates");
  EXPECT_EQ(RowTimes(updates), (Lines{"09:44:00", "09:45:00"}));
  // The same series: the update rows equal the tail of the full answer.
  EXPECT_NE(full.find(updates.substr(updates.find("[[\"09:44:00\"") + 1, 60)), std::string::npos);

  EXPECT_EQ(Answer("GetFullPriceChannelData IBM 0", "GotFullVantrelData"),
            std::string(R"({"event":"GotFullVantrelData","PriceChannelData":{"RecordCount":0,)") + kFields +
                R"(,"Rows":[]}})");
  const std::string all = Answer("GetFullPriceChannelData IBM 100000", "GotFullVantrelData");
  EXPECT_EQ(RowTimes(all).size(), 16u);  // 09:30 to the simulated 09:45
}

TEST_F(MarketData, ArgumentsAreCheckedBeforeAnythingIsSent) {
  StartLoggedIn();
  EXPECT_EQ(
      Call(R"(GetPriceChannelDataUpdates "TOOLONG1" "not a date")"),
      R"({"call":"GetPriceChannelDataUpdates","error":{"number":-2147221502,"source":"ChartServiceClient:GetPriceChannelDataUpdates","description":"The Ticker parameter is invalid."}})");
  EXPECT_EQ(
      Call(R"(GetPriceChannelDataUpdates IBM "")"),
      R"({"call":"GetPriceChannelDataUpdates","error":{"number":-2147221501,"source":"ChartServiceClient:GetPriceChannelDataUpdates","description":"The LastReceivedTimeStamp parameter is invalid."}})");
  EXPECT_EQ(
      Call("GetPreviousSessionsHighPrice ABCDEFG"),
      R"({"call":"GetPreviousSessionsHighPrice","error":{"number":-2147221502,"source":"ChartServiceClient:GetPreviousSessionsHighPrice","description":"The Ticker parameter is invalid."}})");
  // Nothing half-sent: the connection still answers normally.
  EXPECT_EQ(Answer("GetSessionTime", "GotSessionTime"),
            R"({"event":"GotSessionTime","CurrentSessionTime":"09:45:00"})");
}

TEST_F(MarketData, PreviousSessionPricesAgreeWithTheSupportAndResistanceAnswer) {
  StartLoggedIn();
  const std::string average =
      Answer("GetPreviousSessionsLastAverageVantrelPrice MSFT", "GotPreviousSessionsLastAverageVantrelPrice");
  const std::string high = Answer("GetPreviousSessionsHighPrice MSFT", "GotPreviousSessionsHighPrice");
  const std::string low = Answer("GetPreviousSessionsLowPrice MSFT", "GotPreviousSessionsLowPrice");
  const std::string closing = Answer("GetPreviousSessionsClosingPrice MSFT", "GotPreviousSessionsClosingPrice");
  const std::string all =
      Answer("GetPreviousSessionsSupportAndResistancePrices MSFT", "GotPreviousSessionsSupportAndResistancePrices");
  EXPECT_EQ(all,
            "{\"event\":\"GotPreviousSessionsSupportAndResistancePrices\""
            ",\"PreviousSessionsLastAverageVantrelPrice\":" +
                Member(average, "PreviousSessionsLastAverageVantrelPrice") +
                ",\"PreviousSessionsHighPrice\":" + Member(high, "PreviousSessionsHighPrice") +
                ",\"PreviousSessionsLowPrice\":" + Member(low, "PreviousSessionsLowPrice") +
                ",\"PreviousSessionsClosingPrice\":" + Member(closing, "PreviousSessionsClosingPrice") + "}");
  EXPECT_LE(std::stof(Member(low, "PreviousSessionsLowPrice")), std::stof(Member(high, "PreviousSessionsHighPrice")));
}

TEST_F(MarketData, OneRequestOfEachKindAtATime) {
  StartLoggedIn({"--delay", "1000:5,6"});  // long enough for four calls to overlap
  EXPECT_EQ(Call("GetFullPriceChannelData IBM 2"), R"({"call":"GetFullPriceChannelData","result":null})");
  EXPECT_EQ(
      Call("GetFullPriceChannelData IBM 2"),
      R"({"call":"GetFullPriceChannelData","error":{"number":-2147221496,"source":"ChartServiceClient:GetFullPriceChannelData","description":"A full data request is already pending."}})");
  EXPECT_EQ(Call(R"(GetPriceChannelDataUpdates IBM "09:44:00")"),
            R"({"call":"GetPriceChannelDataUpdates","result":null})");
  EXPECT_EQ(
      Call(R"(GetPriceChannelDataUpdates IBM "09:44:00")"),
      R"({"call":"GetPriceChannelDataUpdates","error":{"number":-2147221496,"source":"ChartServiceClient:GetPriceChannelDataUpdates","description":"A data update request is already pending."}})");
  // Both answers may come in one notification, so wait for the later one and pick both out.
  const Lines lines = CallUntil("GetSessionDate", "GotVantrelDataUpdates");
  auto event = [&](const std::string& name) {
    for (const auto& line : lines) {
      if (line.rfind("{\"event\":\"" + name + "\"", 0) == 0) return line;
    }
    return std::string();
  };
  EXPECT_EQ(RowTimes(event("GotFullVantrelData")), (Lines{"09:44:00", "09:45:00"}));
  EXPECT_EQ(RowTimes(event("GotVantrelDataUpdates")), (Lines{"09:45:00"}));
  EXPECT_EQ(event("GotSessionDate"), R"({"event":"GotSessionDate","CurrentSessionDate":"12/08/2026"})");
}

TEST_F(MarketData, UnansweredRequestsTimeOutAndLateAnswersAreDropped) {
  StartLoggedIn({"--never", "5", "--delay", "600:4"});
  Call("set DataRequestTimeout 150");
  Call("set SessionInfoTimeout 150");
  EXPECT_EQ(Answer("GetFullPriceChannelData IBM 5", "Timeout"), R"({"event":"Timeout","CommandType":2})");
  EXPECT_EQ(Answer("GetSessionTime", "Timeout"), R"({"event":"Timeout","CommandType":6})");
  EXPECT_EQ(Wait(700), Lines{});  // the session time arrives late and is dropped
  EXPECT_EQ(Call("GetFullPriceChannelData IBM 5"), R"({"call":"GetFullPriceChannelData","result":null})");
}

TEST_F(MarketData, EmptyAnswersMeanZeroAndNoRows) {
  StartLoggedIn({"--empty", "2,5,7,11"});
  EXPECT_EQ(Answer("GetSessionDateTime", "GotSessionDateTime"),
            R"({"event":"GotSessionDateTime","CurrentSessionDateTime":""})");
  EXPECT_EQ(Answer("GetPreviousSessionsLastAverageVantrelPrice X", "GotPreviousSessionsLastAverageVantrelPrice"),
            R"({"event":"GotPreviousSessionsLastAverageVantrelPrice","PreviousSessionsLastAverageVantrelPrice":0})");
  EXPECT_EQ(
      Answer("GetPreviousSessionsSupportAndResistancePrices X", "GotPreviousSessionsSupportAndResistancePrices"),
      R"({"event":"GotPreviousSessionsSupportAndResistancePrices","PreviousSessionsLastAverageVantrelPrice":0,"PreviousSessionsHighPrice":0,"PreviousSessionsLowPrice":0,"PreviousSessionsClosingPrice":0})");
  EXPECT_EQ(RowTimes(Answer("GetFullPriceChannelData IBM 10", "GotFullVantrelData")), Lines{});
}

TEST_F(MarketData, ShortAnswersAreReportedAsErrors) {
  StartLoggedIn({"--short", "3:8", "--short", "15:11", "--tail", "23:5", "--tail", "1:6"});
  const std::string error = R"({"event":"Error","ErrorID":-2147221500,"ErrorDescription":"Subscript out of range"})";
  EXPECT_EQ(Answer("GetPreviousSessionsHighPrice IBM", "Error"), error);
  EXPECT_EQ(Answer("GetPreviousSessionsSupportAndResistancePrices IBM", "Error"), error);
  // A record one byte short: no data event, and the request times out later.
  Call("set DataRequestTimeout 200");
  const Lines lines = CallUntil("GetFullPriceChannelData IBM 2", "Timeout");
  EXPECT_EQ(lines, (Lines{R"({"call":"GetFullPriceChannelData","result":null})", error,
                          R"({"event":"Timeout","CommandType":2})"}));
  // A single spare byte after whole records is ignored.
  EXPECT_EQ(RowTimes(Answer(R"(GetPriceChannelDataUpdates IBM "09:43:00")", "GotVantrelDataUpdates")),
            (Lines{"09:44:00", "09:45:00"}));
}

TEST_F(MarketData, ChunkedAndDelayedAnswersAreReassembled) {
  StartLoggedIn({"--chunk", "7", "--delay", "50"});
  const std::string all = Answer("GetFullPriceChannelData IBM 500", "GotFullVantrelData");
  EXPECT_EQ(RowTimes(all).size(), 16u);
  EXPECT_EQ(Answer("GetSessionDate", "GotSessionDate"),
            R"({"event":"GotSessionDate","CurrentSessionDate":"12/08/2026"})");
}

TEST_F(MarketData, ConnectionLostMidAnswerDropsPendingRequests) {
  StartLoggedIn({"--close-mid", "5", "--never", "4"});
  Call("set SessionInfoTimeout 500");
  Call("GetSessionTime");  // pending when the connection goes
  EXPECT_EQ(Answer("GetFullPriceChannelData IBM 10", "Disconnected"),
            R"({"event":"Disconnected","strReason":"Winsock1_Close"})");
  EXPECT_EQ(Wait(700), Lines{});  // no Timeout for the dropped request
  EXPECT_EQ(
      Call("GetSessionTime"),
      R"({"call":"GetSessionTime","error":{"number":-2147221504,"source":"ChartServiceClient:GetSessionTime","description":"Not connected"}})");
}

}  // namespace
}  // namespace moravex::testing
