#include "tools/simulator/market_data.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/simulator/split_mix.h"

namespace moravex::sim {
namespace {

// Separate streams for the previous session and the intraday walk, so that changing one never shifts the other.
constexpr std::uint64_t kPreviousSessionStream = 0x5052455653455353ULL;
constexpr std::uint64_t kIntradayStream = 0x494E545241444159ULL;

double RoundToCents(double value) { return std::round(value * 100.0) / 100.0; }

// Base price in 10.00 .. 499.99, the level a ticker trades around.
double BasePrice(std::uint64_t ticker_seed) {
  SplitMix64 rng(ticker_seed);
  return RoundToCents(10.0 + rng.NextUnit() * 490.0);
}

}  // namespace

std::string_view TrimTicker(std::string_view ticker) {
  const auto first = ticker.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = ticker.find_last_not_of(' ');
  return ticker.substr(first, last - first + 1);
}

std::uint64_t TickerSeed(std::string_view ticker, std::uint64_t seed) {
  // FNV-1a over the trimmed ticker, then mixed with the market seed through one SplitMix step.
  std::uint64_t hash = 0xCBF29CE484222325ULL;
  for (const char c : TrimTicker(ticker)) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001B3ULL;
  }
  return SplitMix64(hash ^ (seed * 0x9E3779B97F4A7C15ULL)).Next();
}

PreviousSessionPrices PreviousSession(std::string_view ticker, std::uint64_t seed) {
  const std::uint64_t ticker_seed = TickerSeed(ticker, seed);
  const double base = BasePrice(ticker_seed);
  SplitMix64 rng(ticker_seed ^ kPreviousSessionStream);
  // Up to 3 % either side of the base; cent rounding keeps low <= average, closing <= high.
  const double high = RoundToCents(base * (1.0 + 0.002 + rng.NextUnit() * 0.03));
  const double low = RoundToCents(base * (1.0 - 0.002 - rng.NextUnit() * 0.03));
  const double closing = RoundToCents(low + rng.NextUnit() * (high - low));
  const double average = RoundToCents(low + (0.25 + rng.NextUnit() * 0.5) * (high - low));
  return PreviousSessionPrices{static_cast<float>(average), static_cast<float>(high), static_cast<float>(low),
                               static_cast<float>(closing)};
}

std::vector<PriceRow> SessionSeries(std::string_view ticker, std::uint64_t seed) {
  const std::uint64_t ticker_seed = TickerSeed(ticker, seed);
  SplitMix64 rng(ticker_seed ^ kIntradayStream);
  // The day opens near the previous close; the channel centre trails the price as a moving average.
  double price = RoundToCents(PreviousSession(ticker, seed).closing * (1.0 + rng.NextSigned() * 0.005));
  double centre = price;
  const double band = 0.004 + rng.NextUnit() * 0.008;  // half-width of the channel, 0.4 % .. 1.2 %
  std::vector<PriceRow> rows;
  rows.reserve(kSessionRows);
  for (int i = 0; i < kSessionRows; ++i) {
    if (i > 0) {
      // A small step with a pull back towards the centre, so the walk stays near its channel.
      const double step = rng.NextSigned() * 0.0015 + (centre - price) / price * 0.05;
      price = std::max(0.01, RoundToCents(price * (1.0 + step)));
      centre += (price - centre) * 0.1;
    }
    // The channel always encloses the price with room to spare, also when a spike leaves the centre behind.
    const double half_width = std::max(centre * band, std::abs(price - centre) * 1.25 + 0.02);
    PriceRow row;
    row.seconds_of_day = kSessionOpenSeconds + 60 * i;
    row.time = FormatTimeOfDay(row.seconds_of_day);
    row.buy_reference = static_cast<float>(RoundToCents(centre + half_width) + 0.01);
    row.sell_reference = static_cast<float>(std::max(0.0, RoundToCents(centre - half_width) - 0.01));
    row.price = static_cast<float>(price);
    row.offset_percent = static_cast<float>((price - centre) / centre * 100.0);
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string FormatTimeOfDay(int seconds_of_day) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds_of_day / 3600 % 100, seconds_of_day / 60 % 60,
                seconds_of_day % 60);
  return text;
}

}  // namespace moravex::sim
