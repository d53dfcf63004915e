// The simulated market: a deterministic one-minute price channel per ticker and seed, and the previous session's
// prices that the series starts from.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace moravex::sim {

inline constexpr int kSessionOpenSeconds = 9 * 3600 + 30 * 60;                              // 09:30:00
inline constexpr int kSessionCloseSeconds = 16 * 3600;                                      // 16:00:00
inline constexpr int kSessionRows = (kSessionCloseSeconds - kSessionOpenSeconds) / 60 + 1;  // 391, both ends included

struct PriceRow {
  int seconds_of_day = 0;
  std::string time;  // "HH:MM:SS", always 8 characters
  float buy_reference = 0;
  float sell_reference = 0;
  float price = 0;
  float offset_percent = 0;
};

struct PreviousSessionPrices {
  float last_average = 0;
  float high = 0;
  float low = 0;
  float closing = 0;
};

// The ticker as the series key: blanks around it are not part of it, so "   IBM" and "IBM" are the same ticker.
std::string_view TrimTicker(std::string_view ticker);

// Seeds one ticker's generator; different tickers and different seeds give unrelated streams.
std::uint64_t TickerSeed(std::string_view ticker, std::uint64_t seed);

PreviousSessionPrices PreviousSession(std::string_view ticker, std::uint64_t seed);

// All kSessionRows rows of the session, 09:30:00 to 16:00:00, one per minute. Callers cut it to the rows that the
// simulated clock has reached, so every shorter series is a prefix of the full one.
std::vector<PriceRow> SessionSeries(std::string_view ticker, std::uint64_t seed);

std::string FormatTimeOfDay(int seconds_of_day);

}  // namespace moravex::sim
