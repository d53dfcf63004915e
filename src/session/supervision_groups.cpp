#include "session/supervision_groups.h"

namespace moravex {
namespace {

constexpr Supervised kLoginAndConnect[] = {
    {Pending::Login, LoginTimeout},
    {Pending::Connect, ConnectTimeout},
};

constexpr Supervised kDataRequest[] = {
    {Pending::DataUpdates, DataUpdatesTimeout},
    {Pending::FullDataRequest, FullDataRequestTimeout},
};

constexpr Supervised kSessionInfo[] = {
    {Pending::SessionTime, SessionTimeTimeout},
    {Pending::SessionDate, SessionDateTimeout},
    {Pending::SessionDateTime, SessionDateTimeTimeout},
    {Pending::PreviousSessionsLastAverageVantrelPrice, PreviousSessionsLastAverageVantrelPriceTimeout},
    {Pending::PreviousSessionsHighPrice, PreviousSessionsHighPriceTimeout},
    {Pending::PreviousSessionsLowPrice, PreviousSessionsLowPriceTimeout},
    {Pending::PreviousSessionsClosingPrice, PreviousSessionsClosingPriceTimeout},
    {Pending::PreviousSessionsSupportAndResistancePrices, PreviousSessionsSupportAndResistancePricesTimeout},
};

}  // namespace

std::span<const Supervised> SupervisionGroup(TimerId timer) {
  switch (timer) {
    case TimerId::LoginAndConnect: return kLoginAndConnect;
    case TimerId::DataRequest: return kDataRequest;
    case TimerId::SessionInfo: return kSessionInfo;
  }
  return {};
}

}  // namespace moravex
