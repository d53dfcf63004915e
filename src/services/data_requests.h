// The ten market-data requests differ only in these values.
#pragma once
#include <cstdint>

#include "protocol/message_types.h"
#include "session/client_state.h"
#include "session/supervision_groups.h"

namespace moravex {

enum class RequestPayload { kNone, kTicker, kTickerAndPixels, kTickerAndTimeStamp };

struct DataRequest {
  const char* method;
  MessageType message_type;
  Pending flag;
  TimerId timer;
  const char* already_pending;
  RequestPayload payload;
};

inline constexpr DataRequest kGetFullPriceChannelData{
    "GetFullPriceChannelData", MessageType::FullPriceChannelData, Pending::FullDataRequest, TimerId::DataRequest,
    "A full data request is already pending.", RequestPayload::kTickerAndPixels};
inline constexpr DataRequest kGetPriceChannelDataUpdates{
    "GetPriceChannelDataUpdates", MessageType::PriceChannelDataUpdates, Pending::DataUpdates, TimerId::DataRequest,
    "A data update request is already pending.", RequestPayload::kTickerAndTimeStamp};
inline constexpr DataRequest kGetSessionTime{
    "GetSessionTime", MessageType::SessionTime, Pending::SessionTime, TimerId::SessionInfo,
    "A session time request is already pending.", RequestPayload::kNone};
inline constexpr DataRequest kGetSessionDate{
    "GetSessionDate", MessageType::SessionDate, Pending::SessionDate, TimerId::SessionInfo,
    "A session date request is already pending.", RequestPayload::kNone};
inline constexpr DataRequest kGetSessionDateTime{
    "GetSessionDateTime", MessageType::SessionDateTime, Pending::SessionDateTime, TimerId::SessionInfo,
    "A session datetime request is already pending.", RequestPayload::kNone};
inline constexpr DataRequest kGetPreviousSessionsLastAverageVantrelPrice{
    "GetPreviousSessionsLastAverageVantrelPrice", MessageType::PreviousSessionsLastAverageVantrelPrice, Pending::PreviousSessionsLastAverageVantrelPrice,
    TimerId::SessionInfo, "A previous session last average Vantrel price request is already pending.",
    RequestPayload::kTicker};
inline constexpr DataRequest kGetPreviousSessionsHighPrice{
    "GetPreviousSessionsHighPrice", MessageType::PreviousSessionsHighPrice, Pending::PreviousSessionsHighPrice, TimerId::SessionInfo,
    "A previous session high price request is already pending.", RequestPayload::kTicker};
inline constexpr DataRequest kGetPreviousSessionsLowPrice{
    "GetPreviousSessionsLowPrice", MessageType::PreviousSessionsLowPrice, Pending::PreviousSessionsLowPrice, TimerId::SessionInfo,
    "A previous session low price request is already pending.", RequestPayload::kTicker};
inline constexpr DataRequest kGetPreviousSessionsClosingPrice{
    "GetPreviousSessionsClosingPrice", MessageType::PreviousSessionsClosingPrice, Pending::PreviousSessionsClosingPrice, TimerId::SessionInfo,
    "A previous session closing price request is already pending.", RequestPayload::kTicker};
inline constexpr DataRequest kGetPreviousSessionsSupportAndResistancePrices{
    "GetPreviousSessionsSupportAndResistancePrices", MessageType::PreviousSessionsSupportAndResistancePrices,
    Pending::PreviousSessionsSupportAndResistancePrices, TimerId::SessionInfo,
    "A previous session support and resistance price request is already pending.",
    RequestPayload::kTicker};

inline constexpr int16_t kTickerWidth = 6;

}  // namespace moravex
