#include <array>

#include "control/chart_service_client.h"
#include "protocol/message_types.h"
#include "services/data_requests.h"

namespace moravex {
namespace {

// The flag that must be set for an answer of each type to count, by type:
// the login's own, and each request row's.
constexpr auto kGate = [] {
  std::array<Pending, kLastMessageType + 1> gate{};
  std::array<bool, kLastMessageType + 1> gated{};
  gate[static_cast<uint8_t>(MessageType::Login)] = Pending::Login;
  gated[static_cast<uint8_t>(MessageType::Login)] = true;
  for (const DataRequest& request : kDataRequests) {
    gate[static_cast<uint8_t>(request.message_type)] = request.flag;
    gated[static_cast<uint8_t>(request.message_type)] = true;
  }
  // Debug text is never gated; every other type must have its row.
  for (uint8_t type = 1; type <= kLastMessageType; ++type) {
    if (!gated[type]) throw "an answer type without a request row";  // fails the build
  }
  return gate;
}();

}  // namespace

// Answers nobody waits for, and unknown types, are dropped without a trace.
void ChartServiceClient::ProcessMessage(uint8_t message_type, uint8_t /*second_byte*/) {
  if (message_type > kLastMessageType) return;
  const auto type = static_cast<MessageType>(message_type);
  if (type != MessageType::DebugMessage && !state_[kGate[message_type]]) return;
  const Pending flag = kGate[message_type];
  using E = ChartServiceEvents;
  switch (type) {
    case MessageType::DebugMessage: ProcessDebugMessage(); break;
    case MessageType::Login: ProcessLogin(); break;
    case MessageType::SessionDateTime: ProcessSessionText(flag, &E::GotSessionDateTime); break;
    case MessageType::SessionDate: ProcessSessionText(flag, &E::GotSessionDate); break;
    case MessageType::SessionTime: ProcessSessionText(flag, &E::GotSessionTime); break;
    case MessageType::FullPriceChannelData: ProcessPriceChannelData(flag, &E::GotFullVantrelData); break;
    case MessageType::PriceChannelDataUpdates: ProcessPriceChannelData(flag, &E::GotVantrelDataUpdates); break;
    case MessageType::PreviousSessionsLastAverageVantrelPrice:
      ProcessPreviousSessionsPrice(flag, &E::GotPreviousSessionsLastAverageVantrelPrice);
      break;
    case MessageType::PreviousSessionsHighPrice:
      ProcessPreviousSessionsPrice(flag, &E::GotPreviousSessionsHighPrice);
      break;
    case MessageType::PreviousSessionsLowPrice:
      ProcessPreviousSessionsPrice(flag, &E::GotPreviousSessionsLowPrice);
      break;
    case MessageType::PreviousSessionsClosingPrice:
      ProcessPreviousSessionsPrice(flag, &E::GotPreviousSessionsClosingPrice);
      break;
    case MessageType::PreviousSessionsSupportAndResistancePrices:
      ProcessPreviousSessionsSupportAndResistancePrices();
      break;
  }
}

}  // namespace moravex
