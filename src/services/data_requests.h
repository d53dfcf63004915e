// The ten market-data requests differ only in these values.
#pragma once
#include <cstdint>

#include "session/client_state.h"
#include "session/supervision_groups.h"

namespace moravex {

enum class RequestPayload { kNone, kTicker, kTickerAndPixels, kTickerAndTimeStamp };

struct DataRequest {
  const char* method;
  int32_t message_type;
  Pending flag;
  TimerId timer;
  const char* already_pending;
  RequestPayload payload;
};

inline constexpr DataRequest kGetFullPriceChannelData{
    "GetFullPriceChannelData", 5, Pending::FullDataRequest, TimerId::DataRequest,
    "A full data request is already pending.", RequestPayload::kTickerAndPixels};
inline constexpr DataRequest kGetPriceChannelDataUpdates{
    "GetPriceChannelDataUpdates", 6, Pending::DataUpdates, TimerId::DataRequest,
    "A data update request is already pending.", RequestPayload::kTickerAndTimeStamp};
inline constexpr DataRequest kGetSessionTime{
    "GetSessionTime", 4, Pending::SessionTime, TimerId::SessionInfo,
    "A session time request is already pending.", RequestPayload::kNone};
inline constexpr DataRequest kGetSessionDate{
    "GetSessionDate", 3, Pending::SessionDate, TimerId::SessionInfo,
    "A session date request is already pending.", RequestPayload::kNone};
inline constexpr DataRequest kGetSessionDateTime{
    "GetSessionDateTime", 2, Pending::SessionDateTime, TimerId::SessionInfo,
    "A session datetime request is already pending.", RequestPayload::kNone};
inline constexpr DataRequest kGetPreviousSessionsLastAverageVantrelPrice{
    "GetPreviousSessionsLastAverageVantrelPrice", 7, Pending::PreviousSessionsLastAverageVantrelPrice,
    TimerId::SessionInfo, "A previous session last average Vantrel price request is already pending.",
    RequestPayload::kTicker};
inline constexpr DataRequest kGetPreviousSessionsHighPrice{
    "GetPreviousSessionsHighPrice", 8, Pending::PreviousSessionsHighPrice, TimerId::SessionInfo,
    "A previous session high price request is already pending.", RequestPayload::kTicker};
inline constexpr DataRequest kGetPreviousSessionsLowPrice{
    "GetPreviousSessionsLowPrice", 9, Pending::PreviousSessionsLowPrice, TimerId::SessionInfo,
    "A previous session low price request is already pending.", RequestPayload::kTicker};
inline constexpr DataRequest kGetPreviousSessionsClosingPrice{
    "GetPreviousSessionsClosingPrice", 10, Pending::PreviousSessionsClosingPrice, TimerId::SessionInfo,
    "A previous session closing price request is already pending.", RequestPayload::kTicker};
inline constexpr DataRequest kGetPreviousSessionsSupportAndResistancePrices{
    "GetPreviousSessionsSupportAndResistancePrices", 11,
    Pending::PreviousSessionsSupportAndResistancePrices, TimerId::SessionInfo,
    "A previous session support and resistance price request is already pending.",
    RequestPayload::kTicker};

inline constexpr int16_t kTickerWidth = 6;

}  // namespace moravex
