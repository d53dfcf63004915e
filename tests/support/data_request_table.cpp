#include <gtest/gtest.h>

#include "tests/support/data_request_table.h"

namespace moravex {
namespace {

FakeTimer& DataTimer(TestClient& tc) { return *tc.data_timer; }
FakeTimer& SessionTimer(TestClient& tc) { return *tc.session_timer; }

}  // namespace

const std::vector<DataRequestCase>& DataRequests() {
  using C = ChartServiceClient;
  static const std::vector<DataRequestCase> cases = {
      {"GetFullPriceChannelData", [](C& c, const Text& t) { c.GetFullPriceChannelData(t, 500); },
       Pending::FullDataRequest, 5, FullDataRequestTimeout, "A full data request is already pending.", true, DataTimer},
      {"GetPriceChannelDataUpdates",
       [](C& c, const Text& t) { c.GetPriceChannelDataUpdates(t, u"2026-12-08 09:30:00"); }, Pending::DataUpdates, 6,
       DataUpdatesTimeout, "A data update request is already pending.", true, DataTimer},
      {"GetSessionTime", [](C& c, const Text&) { c.GetSessionTime(); }, Pending::SessionTime, 4, SessionTimeTimeout,
       "A session time request is already pending.", false, SessionTimer},
      {"GetSessionDate", [](C& c, const Text&) { c.GetSessionDate(); }, Pending::SessionDate, 3, SessionDateTimeout,
       "A session date request is already pending.", false, SessionTimer},
      {"GetSessionDateTime", [](C& c, const Text&) { c.GetSessionDateTime(); }, Pending::SessionDateTime, 2,
       SessionDateTimeTimeout, "A session datetime request is already pending.", false, SessionTimer},
      {"GetPreviousSessionsLastAverageVantrelPrice",
       [](C& c, const Text& t) { c.GetPreviousSessionsLastAverageVantrelPrice(t); },
       Pending::PreviousSessionsLastAverageVantrelPrice, 7, PreviousSessionsLastAverageVantrelPriceTimeout,
       "A previous session last average Vantrel price request is already pending.", true, SessionTimer},
      {"GetPreviousSessionsHighPrice", [](C& c, const Text& t) { c.GetPreviousSessionsHighPrice(t); },
       Pending::PreviousSessionsHighPrice, 8, PreviousSessionsHighPriceTimeout,
       "A previous session high price request is already pending.", true, SessionTimer},
      {"GetPreviousSessionsLowPrice", [](C& c, const Text& t) { c.GetPreviousSessionsLowPrice(t); },
       Pending::PreviousSessionsLowPrice, 9, PreviousSessionsLowPriceTimeout,
       "A previous session low price request is already pending.", true, SessionTimer},
      {"GetPreviousSessionsClosingPrice", [](C& c, const Text& t) { c.GetPreviousSessionsClosingPrice(t); },
       Pending::PreviousSessionsClosingPrice, 10, PreviousSessionsClosingPriceTimeout,
       "A previous session closing price request is already pending.", true, SessionTimer},
      {"GetPreviousSessionsSupportAndResistancePrices",
       [](C& c, const Text& t) { c.GetPreviousSessionsSupportAndResistancePrices(t); },
       Pending::PreviousSessionsSupportAndResistancePrices, 11, PreviousSessionsSupportAndResistancePricesTimeout,
       "A previous session support and resistance price request is already pending.", true, SessionTimer},
  };
  return cases;
}

}  // namespace moravex
