#include <gtest/gtest.h>

#include <string>

#include "tools/simulator/answers.h"
#include "tools/simulator/market_data.h"
#include "tools/simulator/options.h"

namespace moravex::sim {
namespace {

class SimulatorAnswersTest : public ::testing::Test {
 protected:
  SimulatorAnswersTest() {
    settings_.user = std::string(kDemoUser);
    settings_.password = std::string(kDemoPassword);
    settings_.seed = 1;
    settings_.clock = SessionClock(ParseClock("2026-12-08 16:45:00"));
  }

  Bytes Answer(std::uint8_t type, const Bytes& payload = {}) {
    const auto answer = BuildAnswer(settings_, faults_, type, payload);
    EXPECT_TRUE(answer.has_value());
    return answer.value_or(Bytes{});
  }

  static Bytes LoginRequest(std::string_view user, std::string_view password, std::string_view cookie = "") {
    Bytes payload{1};
    AppendText(payload, user);
    AppendText(payload, password);
    AppendText(payload, cookie);
    return payload;
  }

  static Bytes TickerRequest(std::string_view ticker) {
    Bytes payload;
    AppendText(payload, std::string(6 - ticker.size(), ' ') + std::string(ticker));
    return payload;
  }

  static Bytes FullRequest(std::string_view ticker, std::int32_t max_pixels) {
    Bytes payload = TickerRequest(ticker);
    AppendInt32(payload, max_pixels);
    return payload;
  }

  static Bytes UpdatesRequest(std::string_view ticker, std::string_view stamp) {
    Bytes payload = TickerRequest(ticker);
    AppendText(payload, stamp);
    return payload;
  }

  static std::string Text(const Bytes& bytes, std::size_t offset = 0) {
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(offset), bytes.end());
  }

  static std::string RecordTime(const Bytes& payload, std::size_t record) {
    return std::string(payload.begin() + static_cast<std::ptrdiff_t>(record * 24),
                       payload.begin() + static_cast<std::ptrdiff_t>(record * 24 + 8));
  }

  MarketSettings settings_;
  FaultConfig faults_;
};

TEST_F(SimulatorAnswersTest, LoginAcceptsOnlyTheConfiguredPair) {
  const Bytes accepted = Answer(kLogin, LoginRequest(kDemoUser, kDemoPassword, "any cookie"));
  EXPECT_EQ(ReadInt32(accepted.data()), 0);
  EXPECT_EQ(Text(accepted, 4), "OK");

  const std::string wrong(36, 'x');
  for (const Bytes& request : {LoginRequest(kDemoUser, wrong), LoginRequest(wrong, kDemoPassword),
                               LoginRequest(kDemoUser, kDemoPassword.substr(0, 35)), Bytes{1}, Bytes{}}) {
    const Bytes refused = Answer(kLogin, request);
    EXPECT_EQ(ReadInt32(refused.data()), 1);
    EXPECT_EQ(Text(refused, 4), "Invalid user ID or password");
  }
  Bytes bad_marker = LoginRequest(kDemoUser, kDemoPassword);
  bad_marker[0] = 2;
  EXPECT_EQ(ReadInt32(Answer(kLogin, bad_marker).data()), 1);
}

TEST_F(SimulatorAnswersTest, LoginFaultsOverrideTheCheck) {
  faults_.login_refusal = LoginRefusal{-7, "Account locked"};
  const Bytes refused = Answer(kLogin, LoginRequest(kDemoUser, kDemoPassword));
  EXPECT_EQ(ReadInt32(refused.data()), -7);
  EXPECT_EQ(Text(refused, 4), "Account locked");
  faults_.login_malformed = true;
  EXPECT_EQ(Answer(kLogin, LoginRequest(kDemoUser, kDemoPassword)), (Bytes{0, 0}));
}

TEST_F(SimulatorAnswersTest, SessionTextsFollowTheClock) {
  EXPECT_EQ(Text(Answer(kSessionDateTime)), "12/08/2026 16:45:00");
  EXPECT_EQ(Text(Answer(kSessionDate)), "12/08/2026");
  EXPECT_EQ(Text(Answer(kSessionTime)), "16:45:00");
}

TEST_F(SimulatorAnswersTest, DebugTextIsEchoedAndUnknownTypesAreIgnored) {
  Bytes text;
  AppendText(text, std::string("hello\0world", 11));
  EXPECT_EQ(Answer(kDebugText, text), text);
  EXPECT_EQ(Answer(kDebugText), Bytes{});
  EXPECT_FALSE(BuildAnswer(settings_, faults_, 12, {}));
  EXPECT_FALSE(BuildAnswer(settings_, faults_, 255, {1, 2, 3}));
}

TEST_F(SimulatorAnswersTest, FullPriceChannelSendsTheLastRowsThatFit) {
  const auto rows = SessionSeries("IBM", 1);
  const Bytes last_five = Answer(kFullPriceChannel, FullRequest("IBM", 5));
  ASSERT_EQ(last_five.size(), 5u * 24);
  EXPECT_EQ(RecordTime(last_five, 0), "15:56:00");
  EXPECT_EQ(RecordTime(last_five, 4), "16:00:00");
  const PriceRow& last = rows.back();
  EXPECT_EQ(ReadSingle(last_five.data() + 4 * 24 + 8), last.buy_reference);
  EXPECT_EQ(ReadSingle(last_five.data() + 4 * 24 + 12), last.sell_reference);
  EXPECT_EQ(ReadSingle(last_five.data() + 4 * 24 + 16), last.price);
  EXPECT_EQ(ReadSingle(last_five.data() + 4 * 24 + 20), last.offset_percent);

  for (const std::int32_t pixels : {391, 392, 4166, 4167, 100000, 0x7FFFFFFF}) {
    const Bytes all = Answer(kFullPriceChannel, FullRequest("IBM", pixels));
    ASSERT_EQ(all.size(), 391u * 24) << pixels;
    EXPECT_EQ(RecordTime(all, 0), "09:30:00");
  }
  EXPECT_TRUE(Answer(kFullPriceChannel, FullRequest("IBM", 0)).empty());
  EXPECT_TRUE(Answer(kFullPriceChannel, FullRequest("IBM", -1)).empty());
  EXPECT_TRUE(Answer(kFullPriceChannel, TickerRequest("IBM")).empty());  // no MaxChartPixels at all
  EXPECT_EQ(Answer(kFullPriceChannel, FullRequest("IBM", 50)), Answer(kFullPriceChannel, FullRequest("IBM", 50)));
  EXPECT_NE(Answer(kFullPriceChannel, FullRequest("IBM", 50)), Answer(kFullPriceChannel, FullRequest("MSFT", 50)));
}

TEST_F(SimulatorAnswersTest, UpdatesSendTheRowsAfterTheStamp) {
  const Bytes full = Answer(kFullPriceChannel, FullRequest("IBM", 1000));
  for (const char* stamp : {"2026-12-08 15:57:00", "12/8/2026 3:57:00 PM", "15:57", "15:57:59"}) {
    const Bytes updates = Answer(kPriceChannelUpdates, UpdatesRequest("IBM", stamp));
    ASSERT_EQ(updates.size(), 3u * 24) << stamp;
    EXPECT_EQ(RecordTime(updates, 0), "15:58:00");
    EXPECT_TRUE(std::equal(updates.begin(), updates.end(), full.end() - 3 * 24));
  }
  EXPECT_TRUE(Answer(kPriceChannelUpdates, UpdatesRequest("IBM", "16:00:00")).empty());
  EXPECT_EQ(Answer(kPriceChannelUpdates, UpdatesRequest("IBM", "09:29:59")), full);
  EXPECT_EQ(Answer(kPriceChannelUpdates, UpdatesRequest("IBM", "no time here")), full);
  EXPECT_EQ(Answer(kPriceChannelUpdates, TickerRequest("IBM")), full);
}

TEST_F(SimulatorAnswersTest, PreviousSessionAnswersAgreeWithEachOther) {
  const PreviousSessionPrices prices = PreviousSession("IBM", 1);
  const Bytes all = Answer(kPreviousSupportAndResistance, TickerRequest("IBM"));
  ASSERT_EQ(all.size(), 16u);
  EXPECT_EQ(ReadSingle(all.data()), prices.last_average);
  EXPECT_EQ(ReadSingle(all.data() + 4), prices.high);
  EXPECT_EQ(ReadSingle(all.data() + 8), prices.low);
  EXPECT_EQ(ReadSingle(all.data() + 12), prices.closing);
  for (std::uint8_t type = kPreviousLastAverage; type <= kPreviousClosing; ++type) {
    const Bytes single = Answer(type, TickerRequest("IBM"));
    ASSERT_EQ(single.size(), 4u);
    EXPECT_TRUE(std::equal(single.begin(), single.end(), all.begin() + 4 * (type - kPreviousLastAverage)));
  }
}

}  // namespace
}  // namespace moravex::sim
