// The method that sends each message type, by type (0: debug text), as the
// tests' logs and reports name them.
#pragma once
#include <array>

namespace moravex {

inline constexpr std::array<const char*, 12> kRequestMethods = {
    "SendDebugMessage",
    "Login",
    "GetSessionDateTime",
    "GetSessionDate",
    "GetSessionTime",
    "GetFullPriceChannelData",
    "GetPriceChannelDataUpdates",
    "GetPreviousSessionsLastAverageVantrelPrice",
    "GetPreviousSessionsHighPrice",
    "GetPreviousSessionsLowPrice",
    "GetPreviousSessionsClosingPrice",
    "GetPreviousSessionsSupportAndResistancePrices",
};

}  // namespace moravex
