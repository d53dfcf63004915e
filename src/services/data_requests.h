// The ten market-data requests differ only in these values.
#pragma once
#include <cstdint>

#include "control/error_ids.h"
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
  TimeoutTypes timeout;
  const char* already_pending;
  RequestPayload payload;
};

// Every request kind, once: its method, its answer's type, its flag and the
// timer that supervises it. The dispatcher's gate and the timers' groups are
// derived from these rows; within each timer, row order is the order a tick
// examines the flags in.
inline constexpr DataRequest kDataRequests[] = {
    {"GetPriceChannelDataUpdates", MessageType::PriceChannelDataUpdates, Pending::DataUpdates, TimerId::DataRequest,
     DataUpdatesTimeout, "A data update request is already pending.", RequestPayload::kTickerAndTimeStamp},
    {"GetFullPriceChannelData", MessageType::FullPriceChannelData, Pending::FullDataRequest, TimerId::DataRequest,
     FullDataRequestTimeout, "A full data request is already pending.", RequestPayload::kTickerAndPixels},
    {"GetSessionTime", MessageType::SessionTime, Pending::SessionTime, TimerId::SessionInfo, SessionTimeTimeout,
     "A session time request is already pending.", RequestPayload::kNone},
    {"GetSessionDate", MessageType::SessionDate, Pending::SessionDate, TimerId::SessionInfo, SessionDateTimeout,
     "A session date request is already pending.", RequestPayload::kNone},
    {"GetSessionDateTime", MessageType::SessionDateTime, Pending::SessionDateTime, TimerId::SessionInfo,
     SessionDateTimeTimeout, "A session datetime request is already pending.", RequestPayload::kNone},
    {"GetPreviousSessionsLastAverageVantrelPrice", MessageType::PreviousSessionsLastAverageVantrelPrice,
     Pending::PreviousSessionsLastAverageVantrelPrice, TimerId::SessionInfo,
     PreviousSessionsLastAverageVantrelPriceTimeout,
     "A previous session last average Vantrel price request is already pending.", RequestPayload::kTicker},
    {"GetPreviousSessionsHighPrice", MessageType::PreviousSessionsHighPrice, Pending::PreviousSessionsHighPrice,
     TimerId::SessionInfo, PreviousSessionsHighPriceTimeout,
     "A previous session high price request is already pending.", RequestPayload::kTicker},
    {"GetPreviousSessionsLowPrice", MessageType::PreviousSessionsLowPrice, Pending::PreviousSessionsLowPrice,
     TimerId::SessionInfo, PreviousSessionsLowPriceTimeout, "A previous session low price request is already pending.",
     RequestPayload::kTicker},
    {"GetPreviousSessionsClosingPrice", MessageType::PreviousSessionsClosingPrice,
     Pending::PreviousSessionsClosingPrice, TimerId::SessionInfo, PreviousSessionsClosingPriceTimeout,
     "A previous session closing price request is already pending.", RequestPayload::kTicker},
    {"GetPreviousSessionsSupportAndResistancePrices", MessageType::PreviousSessionsSupportAndResistancePrices,
     Pending::PreviousSessionsSupportAndResistancePrices, TimerId::SessionInfo,
     PreviousSessionsSupportAndResistancePricesTimeout,
     "A previous session support and resistance price request is already pending.", RequestPayload::kTicker},
};

// The row of the request whose answer has `type`; every method names its own.
consteval const DataRequest& RequestOf(MessageType type) {
  for (const DataRequest& request : kDataRequests) {
    if (request.message_type == type) return request;
  }
  throw "no request has this answer type";  // not a constant expression: fails the build
}

inline constexpr int16_t kTickerWidth = 6;

}  // namespace moravex
