// Message types on the wire. An answer carries the type of its request; type 0
// is free debug text in both directions.
#pragma once
#include <cstdint>

namespace moravex {

enum class MessageType : uint8_t {
  DebugMessage = 0,
  Login = 1,
  SessionDateTime = 2,
  SessionDate = 3,
  SessionTime = 4,
  FullPriceChannelData = 5,
  PriceChannelDataUpdates = 6,
  PreviousSessionsLastAverageVantrelPrice = 7,
  PreviousSessionsHighPrice = 8,
  PreviousSessionsLowPrice = 9,
  PreviousSessionsClosingPrice = 10,
  PreviousSessionsSupportAndResistancePrices = 11,
};

inline constexpr uint8_t kLastMessageType = 11;

}  // namespace moravex
