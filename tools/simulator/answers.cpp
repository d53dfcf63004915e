#include "tools/simulator/answers.h"

#include <algorithm>
#include <string_view>

#include "tools/simulator/market_data.h"
#include "tools/simulator/time_stamp.h"

namespace moravex::sim {
namespace {

constexpr std::size_t kTickerWidth = 6;

std::string_view TextOf(const Bytes& payload, std::size_t offset, std::size_t count) {
  if (offset >= payload.size()) return {};
  return std::string_view(reinterpret_cast<const char*>(payload.data()) + offset,
                          std::min(count, payload.size() - offset));
}

std::string_view TickerOf(const Bytes& payload) { return TextOf(payload, 0, kTickerWidth); }

Bytes LoginAnswer(const MarketSettings& settings, const FaultConfig& faults, const Bytes& payload) {
  Bytes answer;
  if (faults.login_malformed) return Bytes{0, 0};
  if (faults.login_refusal) {
    AppendInt32(answer, faults.login_refusal->code);
    AppendText(answer, faults.login_refusal->text);
    return answer;
  }
  const bool accepted = payload.size() >= 1 + 2 * kCredentialLength && payload[0] == 1 &&
                        TextOf(payload, 1, kCredentialLength) == settings.user &&
                        TextOf(payload, 1 + kCredentialLength, kCredentialLength) == settings.password;
  AppendInt32(answer, accepted ? 0 : 1);
  AppendText(answer, accepted ? "OK" : "Invalid user ID or password");
  return answer;
}

Bytes SessionText(const MarketSettings& settings, std::uint8_t type) {
  const CivilTime now = settings.clock.Now();
  Bytes answer;
  AppendText(answer, type == kSessionDateTime ? FormatDateTime(now)
                     : type == kSessionDate   ? FormatDate(now)
                                              : FormatTime(now));
  return answer;
}

void AppendRecords(Bytes& out, const std::vector<PriceRow>& rows, std::size_t first, std::size_t last) {
  out.reserve(out.size() + (last - first) * kPriceRecordSize);
  for (std::size_t i = first; i < last; ++i) {
    AppendText(out, rows[i].time);
    AppendSingle(out, rows[i].buy_reference);
    AppendSingle(out, rows[i].sell_reference);
    AppendSingle(out, rows[i].price);
    AppendSingle(out, rows[i].offset_percent);
  }
}

Bytes FullPriceChannel(const MarketSettings& settings, const Bytes& payload) {
  // A request too short to carry MaxChartPixels asks for nothing.
  const std::int32_t max_pixels = payload.size() >= kTickerWidth + 4 ? ReadInt32(payload.data() + kTickerWidth) : 0;
  const std::vector<PriceRow> rows = SessionSeries(TickerOf(payload), settings.seed);
  const auto available = static_cast<std::size_t>(settings.clock.AvailableRows());
  const auto wanted = static_cast<std::size_t>(std::clamp(max_pixels, 0, kMaxPriceRecords));
  const std::size_t count = std::min(wanted, available);
  Bytes answer;
  AppendRecords(answer, rows, available - count, available);
  return answer;
}

Bytes PriceChannelUpdates(const MarketSettings& settings, const Bytes& payload) {
  const std::vector<PriceRow> rows = SessionSeries(TickerOf(payload), settings.seed);
  const auto available = static_cast<std::size_t>(settings.clock.AvailableRows());
  const std::optional<int> since = ParseTimeOfDay(TextOf(payload, kTickerWidth, payload.size()));
  std::size_t first = 0;
  if (since) {
    while (first < available && rows[first].seconds_of_day <= *since) ++first;
  }
  const std::size_t last = std::min(available, first + static_cast<std::size_t>(kMaxPriceRecords));
  Bytes answer;
  AppendRecords(answer, rows, first, last);
  return answer;
}

Bytes PreviousSessionAnswer(const MarketSettings& settings, std::uint8_t type, const Bytes& payload) {
  const PreviousSessionPrices prices = PreviousSession(TickerOf(payload), settings.seed);
  Bytes answer;
  switch (type) {
    case kPreviousLastAverage: AppendSingle(answer, prices.last_average); break;
    case kPreviousHigh: AppendSingle(answer, prices.high); break;
    case kPreviousLow: AppendSingle(answer, prices.low); break;
    case kPreviousClosing: AppendSingle(answer, prices.closing); break;
    default:
      AppendSingle(answer, prices.last_average);
      AppendSingle(answer, prices.high);
      AppendSingle(answer, prices.low);
      AppendSingle(answer, prices.closing);
      break;
  }
  return answer;
}

}  // namespace

std::optional<Bytes> BuildAnswer(const MarketSettings& settings, const FaultConfig& faults, std::uint8_t type,
                                 const Bytes& payload) {
  switch (type) {
    case kDebugText: return payload;
    case kLogin: return LoginAnswer(settings, faults, payload);
    case kSessionDateTime:
    case kSessionDate:
    case kSessionTime: return SessionText(settings, type);
    case kFullPriceChannel: return FullPriceChannel(settings, payload);
    case kPriceChannelUpdates: return PriceChannelUpdates(settings, payload);
    case kPreviousLastAverage:
    case kPreviousHigh:
    case kPreviousLow:
    case kPreviousClosing:
    case kPreviousSupportAndResistance: return PreviousSessionAnswer(settings, type, payload);
    default: return std::nullopt;
  }
}

}  // namespace moravex::sim
