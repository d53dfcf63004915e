// The dispatcher and every answer's handler: each decodes its payload, clears
// its flag and fires its event.
#include <array>

#include "client/chart_service_client.h"
#include "protocol/message_types.h"
#include "protocol/price_channel_records.h"

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

const Text kEmpty;
constexpr const char* kTypeMismatch = "Type mismatch";

}  // namespace

// Answers nobody waits for, and unknown types, are dropped without a trace.
void ChartServiceClient::ProcessMessage(uint8_t message_type, uint8_t /*second_byte*/) {
  if (message_type > kLastMessageType) {
    MORAVEX_TRACE("answer type %u length %d dropped: unknown type", message_type, PayloadSize());
    return;
  }
  const auto type = static_cast<MessageType>(message_type);
  const Pending flag = kGate[message_type];
  if (type != MessageType::DebugMessage && !state_[flag]) {
    MORAVEX_TRACE("answer type %u length %d dropped: not asked for", message_type, PayloadSize());
    return;
  }
  MORAVEX_TRACE("answer type %u length %d after %lld ms", message_type, PayloadSize(),
                type == MessageType::DebugMessage
                    ? 0LL
                    : static_cast<long long>((Trace::NowMicros() - asked_at_[static_cast<size_t>(flag)]) / 1000));
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

// No guard of its own: a failure ends the connection in the receive path.
void ChartServiceClient::ProcessDebugMessage() {
  Fire(&ChartServiceEvents::GotDebugMessage, PayloadSize() > 0 ? PayloadText(0, PayloadSize()) : kEmpty);
}

// Session date, time and date-time answers: the payload is the server's text.
void ChartServiceClient::ProcessSessionText(Pending flag, void (ChartServiceEvents::*event)(const Text&)) {
  state_[flag] = false;
  const Text* text = &kEmpty;
  if (PayloadSize() > 0 && !Decoded([&] { text = &PayloadText(0, PayloadSize()); })) return;
  Fire(event, *text);
}

// Empty means 0. Reads stay inside the payload itself: a value one byte short
// is an error, not a value completed with the buffer's spare zero byte.
void ChartServiceClient::ProcessPreviousSessionsPrice(Pending flag, void (ChartServiceEvents::*event)(float)) {
  state_[flag] = false;
  float price = 0;
  if (PayloadSize() > 0 && !Decoded([&] { price = ReadSingle(Payload(), 0); })) return;
  Fire(event, price);
}

void ChartServiceClient::ProcessPreviousSessionsSupportAndResistancePrices() {
  state_[Pending::PreviousSessionsSupportAndResistancePrices] = false;
  float prices[4] = {0, 0, 0, 0};
  if (PayloadSize() > 0 && !Decoded([&] {
        for (int i = 0; i < 4; ++i) prices[i] = ReadSingle(Payload(), 4 * i);
      })) {
    return;
  }
  Fire(&ChartServiceEvents::GotPreviousSessionsSupportAndResistancePrices, prices[0], prices[1], prices[2], prices[3]);
}

// Decodes the answer's records into a new record set and hands it to the host.
// The flag is cleared only on success, so a failed answer still times out later.
void ChartServiceClient::ProcessPriceChannelData(Pending flag, void (ChartServiceEvents::*event)(ObjectRef&)) {
  std::shared_ptr<RecordSet> rows;
  if (!Decoded([&] {
        rows = components_.record_sets->Create();
        rows->Load(PriceChannelRecords(Payload(), widener_));
      })) {
    return;
  }

  // The control keeps its own reference through the event, so a table the host
  // replaced cannot be mistaken for a new object at the same address.
  ObjectRef argument = rows;
  state_[flag] = false;
  Fire(event, argument);
  // The host may clear or replace the argument; anything but a record set is an error.
  if (argument && argument != rows && dynamic_cast<RecordSet*>(argument.get()) == nullptr) {
    argument.reset();
    FireError(kTypeMismatch);
  }
}

}  // namespace moravex
