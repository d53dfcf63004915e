// The one place the feed names the control and its error numbers, so that the
// control can move without the feed's other files noticing.
#pragma once
#include "client/chart_service_client.h"
#include "client/error_ids.h"

namespace moravex::feed {

using Control = ChartServiceClient;

inline constexpr int32_t kInvalidTickerError = InvalidTicker;
inline constexpr int32_t kInvalidDateError = InvalidDate;
inline constexpr int32_t kBadCredentialsError = InvalidUidAndPwCombination;

}  // namespace moravex::feed
