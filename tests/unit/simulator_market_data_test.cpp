#include <gtest/gtest.h>

#include <cmath>

#include "tools/simulator/market_data.h"
#include "tools/simulator/split_mix.h"

namespace moravex::sim {
namespace {

TEST(SimulatorSplitMix, MatchesTheReferenceSequence) {
  // First outputs of SplitMix64 seeded with 0, as published with the algorithm.
  SplitMix64 rng(0);
  EXPECT_EQ(rng.Next(), 0xE220A8397B1DCDAFULL);
  EXPECT_EQ(rng.Next(), 0x6E789E6AA1B965F4ULL);
  EXPECT_EQ(rng.Next(), 0x06C45D188009454FULL);
}

TEST(SimulatorMarketData, SeriesIsRepeatableAndKeyedByTrimmedTickerAndSeed) {
  const auto first = SessionSeries("IBM", 1);
  const auto again = SessionSeries("   IBM", 1);
  ASSERT_EQ(first.size(), again.size());
  for (std::size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(first[i].time, again[i].time);
    EXPECT_EQ(first[i].price, again[i].price);
    EXPECT_EQ(first[i].buy_reference, again[i].buy_reference);
    EXPECT_EQ(first[i].sell_reference, again[i].sell_reference);
    EXPECT_EQ(first[i].offset_percent, again[i].offset_percent);
  }
  EXPECT_NE(SessionSeries("MSFT", 1)[10].price, first[10].price);
  EXPECT_NE(SessionSeries("IBM", 2)[10].price, first[10].price);
  EXPECT_NE(TickerSeed("IBM", 1), TickerSeed("IBN", 1));
}

TEST(SimulatorMarketData, SeriesCoversTheSessionMinuteByMinute) {
  const auto rows = SessionSeries("AAPL", 1);
  ASSERT_EQ(rows.size(), 391u);
  EXPECT_EQ(rows.front().time, "09:30:00");
  EXPECT_EQ(rows[1].time, "09:31:00");
  EXPECT_EQ(rows[30].time, "10:00:00");
  EXPECT_EQ(rows.back().time, "16:00:00");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].time.size(), 8u);
    EXPECT_EQ(rows[i].seconds_of_day, 9 * 3600 + 30 * 60 + 60 * static_cast<int>(i));
  }
}

TEST(SimulatorMarketData, PricesArePlausibleForManyTickersAndSeeds) {
  for (const char* ticker : {"", "A", "IBM", "MSFT", "GOOGL", "ZZZZZZ", "  X  "}) {
    for (std::uint64_t seed : {0ULL, 1ULL, 42ULL, 0xFFFFFFFFFFFFFFFFULL}) {
      SCOPED_TRACE(std::string(ticker) + " seed " + std::to_string(seed));
      const PreviousSessionPrices previous = PreviousSession(ticker, seed);
      EXPECT_GE(previous.low, 9.0f);
      EXPECT_LE(previous.high, 520.0f);
      EXPECT_LE(previous.low, previous.closing);
      EXPECT_LE(previous.closing, previous.high);
      EXPECT_LE(previous.low, previous.last_average);
      EXPECT_LE(previous.last_average, previous.high);
      EXPECT_LT(previous.low, previous.high);
      const auto rows = SessionSeries(ticker, seed);
      // The day opens near the previous close.
      EXPECT_NEAR(rows.front().price, previous.closing, previous.closing * 0.01);
      for (const PriceRow& row : rows) {
        ASSERT_GT(row.buy_reference, row.price) << row.time;
        ASSERT_LT(row.sell_reference, row.price) << row.time;
        ASSERT_GT(row.sell_reference, 0.0f) << row.time;
        ASSERT_LT(std::abs(row.offset_percent), 5.0f) << row.time;
        ASSERT_TRUE(std::isfinite(row.price));
      }
    }
  }
}

TEST(SimulatorMarketData, FormatsTimeOfDay) {
  EXPECT_EQ(FormatTimeOfDay(0), "00:00:00");
  EXPECT_EQ(FormatTimeOfDay(9 * 3600 + 5 * 60 + 7), "09:05:07");
  EXPECT_EQ(FormatTimeOfDay(23 * 3600 + 59 * 60 + 59), "23:59:59");
}

}  // namespace
}  // namespace moravex::sim
