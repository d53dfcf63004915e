#include "control/chart_service_client.h"

namespace moravex {
namespace {

// Inbound types 1..11 and the flag that must be set for an answer to count.
constexpr Pending kGate[] = {
    Pending::Login,
    Pending::SessionDateTime,
    Pending::SessionDate,
    Pending::SessionTime,
    Pending::FullDataRequest,
    Pending::DataUpdates,
    Pending::PreviousSessionsLastAverageVantrelPrice,
    Pending::PreviousSessionsHighPrice,
    Pending::PreviousSessionsLowPrice,
    Pending::PreviousSessionsClosingPrice,
    Pending::PreviousSessionsSupportAndResistancePrices,
};

}  // namespace

// Answers nobody waits for, and unknown types, are dropped without a trace.
void ChartServiceClient::ProcessMessage(uint8_t message_type, uint8_t /*second_byte*/) {
  if (message_type == 0) {
    ProcessDebugMessage();
    return;
  }
  if (message_type > 11 || !state_[kGate[message_type - 1]]) return;
  using E = ChartServiceEvents;
  switch (message_type) {
    case 1: ProcessLogin(); break;
    case 2: ProcessSessionText(Pending::SessionDateTime, &E::GotSessionDateTime); break;
    case 3: ProcessSessionText(Pending::SessionDate, &E::GotSessionDate); break;
    case 4: ProcessSessionText(Pending::SessionTime, &E::GotSessionTime); break;
    case 5:
    case 6: ProcessPriceChannelData(message_type); break;
    case 7:
      ProcessPreviousSessionsPrice(Pending::PreviousSessionsLastAverageVantrelPrice,
                                   &E::GotPreviousSessionsLastAverageVantrelPrice);
      break;
    case 8: ProcessPreviousSessionsPrice(Pending::PreviousSessionsHighPrice, &E::GotPreviousSessionsHighPrice); break;
    case 9: ProcessPreviousSessionsPrice(Pending::PreviousSessionsLowPrice, &E::GotPreviousSessionsLowPrice); break;
    case 10:
      ProcessPreviousSessionsPrice(Pending::PreviousSessionsClosingPrice, &E::GotPreviousSessionsClosingPrice);
      break;
    default: ProcessPreviousSessionsSupportAndResistancePrices(); break;
  }
}

}  // namespace moravex
