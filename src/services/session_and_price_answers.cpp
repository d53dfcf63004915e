#include "control/chart_service_client.h"
#include "protocol/payload_decoding.h"

namespace moravex {

// Session date, time and date-time answers: the payload is the server's text.
void ChartServiceClient::ProcessSessionText(Pending flag, void (ChartServiceEvents::*event)(const Text&)) {
  state_[flag] = false;
  static const Text kEmpty;
  const Text* text = &kEmpty;
  if (PayloadSize() > 0) {
    try {
      text = &PayloadText(0, PayloadSize());
    } catch (const Failure& failure) {
      FireError(failure.Description());
      return;
    }
  }
  Fire(event, *text);
}

// Empty means 0. Reads stay inside the payload itself: a value one byte short
// is an error, not a value completed with the buffer's spare zero byte.
void ChartServiceClient::ProcessPreviousSessionsPrice(Pending flag, void (ChartServiceEvents::*event)(float)) {
  state_[flag] = false;
  float price = 0;
  if (PayloadSize() > 0) {
    try {
      price = ReadSingle(Payload(), 0);
    } catch (const Failure& failure) {
      FireError(failure.Description());
      return;
    }
  }
  Fire(event, price);
}

void ChartServiceClient::ProcessPreviousSessionsSupportAndResistancePrices() {
  state_[Pending::PreviousSessionsSupportAndResistancePrices] = false;
  float prices[4] = {0, 0, 0, 0};
  if (PayloadSize() > 0) {
    try {
      for (int i = 0; i < 4; ++i) prices[i] = ReadSingle(Payload(), 4 * i);
    } catch (const Failure& failure) {
      FireError(failure.Description());
      return;
    }
  }
  Fire(&ChartServiceEvents::GotPreviousSessionsSupportAndResistancePrices, prices[0], prices[1], prices[2], prices[3]);
}

}  // namespace moravex
