// Every request kind, once: the rows the request methods send from, the
// dispatcher gates answers by and the timers supervise by.
#pragma once
#include <cstdint>
#include <span>

#include "client/client_state.h"
#include "client/error_ids.h"
#include "protocol/message_types.h"

namespace moravex {

enum class TimerId { LoginAndConnect, DataRequest, SessionInfo };

enum class RequestPayload { None, Ticker, TickerAndPixels, TickerAndTimeStamp };

struct DataRequest {
  const char* method;
  MessageType message_type;
  Pending flag;
  TimerId timer;
  TimeoutTypes timeout;
  const char* already_pending;
  RequestPayload payload;
};

// The ten market-data requests differ only in these values. Within each
// timer, row order is the order a tick examines the flags in.
inline constexpr DataRequest kDataRequests[] = {
    {"GetPriceChannelDataUpdates", MessageType::PriceChannelDataUpdates, Pending::DataUpdates, TimerId::DataRequest,
     DataUpdatesTimeout, "A data update request is already pending.", RequestPayload::TickerAndTimeStamp},
    {"GetFullPriceChannelData", MessageType::FullPriceChannelData, Pending::FullDataRequest, TimerId::DataRequest,
     FullDataRequestTimeout, "A full data request is already pending.", RequestPayload::TickerAndPixels},
    {"GetSessionTime", MessageType::SessionTime, Pending::SessionTime, TimerId::SessionInfo, SessionTimeTimeout,
     "A session time request is already pending.", RequestPayload::None},
    {"GetSessionDate", MessageType::SessionDate, Pending::SessionDate, TimerId::SessionInfo, SessionDateTimeout,
     "A session date request is already pending.", RequestPayload::None},
    {"GetSessionDateTime", MessageType::SessionDateTime, Pending::SessionDateTime, TimerId::SessionInfo,
     SessionDateTimeTimeout, "A session datetime request is already pending.", RequestPayload::None},
    {"GetPreviousSessionsLastAverageVantrelPrice", MessageType::PreviousSessionsLastAverageVantrelPrice,
     Pending::PreviousSessionsLastAverageVantrelPrice, TimerId::SessionInfo,
     PreviousSessionsLastAverageVantrelPriceTimeout,
     "A previous session last average Vantrel price request is already pending.", RequestPayload::Ticker},
    {"GetPreviousSessionsHighPrice", MessageType::PreviousSessionsHighPrice, Pending::PreviousSessionsHighPrice,
     TimerId::SessionInfo, PreviousSessionsHighPriceTimeout,
     "A previous session high price request is already pending.", RequestPayload::Ticker},
    {"GetPreviousSessionsLowPrice", MessageType::PreviousSessionsLowPrice, Pending::PreviousSessionsLowPrice,
     TimerId::SessionInfo, PreviousSessionsLowPriceTimeout, "A previous session low price request is already pending.",
     RequestPayload::Ticker},
    {"GetPreviousSessionsClosingPrice", MessageType::PreviousSessionsClosingPrice,
     Pending::PreviousSessionsClosingPrice, TimerId::SessionInfo, PreviousSessionsClosingPriceTimeout,
     "A previous session closing price request is already pending.", RequestPayload::Ticker},
    {"GetPreviousSessionsSupportAndResistancePrices", MessageType::PreviousSessionsSupportAndResistancePrices,
     Pending::PreviousSessionsSupportAndResistancePrices, TimerId::SessionInfo,
     PreviousSessionsSupportAndResistancePricesTimeout,
     "A previous session support and resistance price request is already pending.", RequestPayload::Ticker},
};

// The row of the request whose answer has `type`; every method names its own.
consteval const DataRequest& RequestOf(MessageType type) {
  for (const DataRequest& request : kDataRequests) {
    if (request.message_type == type) return request;
  }
  throw "no request has this answer type";  // not a constant expression: fails the build
}

inline constexpr int16_t kTickerWidth = 6;

// A flag a timer watches, and what its Timeout reports.
struct Supervised {
  Pending flag;
  TimeoutTypes timeout;
};

// Which pending flags each timer watches, in the order a tick examines them:
// the connection's own steps, and each request row's.
std::span<const Supervised> SupervisionGroup(TimerId timer);

}  // namespace moravex
