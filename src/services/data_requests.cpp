#include "services/data_requests.h"

#include "control/chart_service_client.h"
#include "control/method_errors.h"
#include "protocol/checked_arithmetic.h"
#include "protocol/frame_writer.h"
#include "protocol/payload_decoding.h"

namespace moravex {

void ChartServiceClient::GetFullPriceChannelData(const Text& Ticker, int32_t MaxChartPixels) {
  SendDataRequest(RequestOf(MessageType::FullPriceChannelData), Ticker, MaxChartPixels, {});
}
void ChartServiceClient::GetPriceChannelDataUpdates(const Text& Ticker, const Text& LastReceivedTimeStamp) {
  SendDataRequest(RequestOf(MessageType::PriceChannelDataUpdates), Ticker, 0, LastReceivedTimeStamp);
}
void ChartServiceClient::GetSessionTime() { SendDataRequest(RequestOf(MessageType::SessionTime), {}, 0, {}); }
void ChartServiceClient::GetSessionDate() { SendDataRequest(RequestOf(MessageType::SessionDate), {}, 0, {}); }
void ChartServiceClient::GetSessionDateTime() { SendDataRequest(RequestOf(MessageType::SessionDateTime), {}, 0, {}); }
void ChartServiceClient::GetPreviousSessionsLastAverageVantrelPrice(const Text& Ticker) {
  SendDataRequest(RequestOf(MessageType::PreviousSessionsLastAverageVantrelPrice), Ticker, 0, {});
}
void ChartServiceClient::GetPreviousSessionsHighPrice(const Text& Ticker) {
  SendDataRequest(RequestOf(MessageType::PreviousSessionsHighPrice), Ticker, 0, {});
}
void ChartServiceClient::GetPreviousSessionsLowPrice(const Text& Ticker) {
  SendDataRequest(RequestOf(MessageType::PreviousSessionsLowPrice), Ticker, 0, {});
}
void ChartServiceClient::GetPreviousSessionsClosingPrice(const Text& Ticker) {
  SendDataRequest(RequestOf(MessageType::PreviousSessionsClosingPrice), Ticker, 0, {});
}
void ChartServiceClient::GetPreviousSessionsSupportAndResistancePrices(const Text& Ticker) {
  SendDataRequest(RequestOf(MessageType::PreviousSessionsSupportAndResistancePrices), Ticker, 0, {});
}

// Checks in order (connection, login, own flag, arguments), then the whole
// request is written before its flag is set and its group's timer restarts.
void ChartServiceClient::SendDataRequest(const DataRequest& request, const Text& ticker, int32_t max_chart_pixels,
                                         const Text& time_stamp) {
  const char* method = request.method;
  if (components_.winsock1->State() != kSocketConnected) Raise(NotConnected, method, kNotConnected);
  if (!state_.IsLoggedIn) Raise(NotLoggedIn, method, kNotLoggedIn);
  if (state_[request.flag]) Raise(RequestAlreadyPending, method, request.already_pending);

  const TextConversion& text = *components_.text;
  std::string ticker_field;
  std::string time_stamp_field;
  if (request.payload != RequestPayload::kNone) {
    // A longer ticker cannot fit its 6-byte field, and cutting it would ask
    // for another ticker.
    auto ansi = ticker.size() <= static_cast<size_t>(kTickerWidth) ? text.ToAnsi(PadToWidth(ticker, kTickerWidth))
                                                                   : std::nullopt;
    if (!ansi) Raise(InvalidTicker, method, "The Ticker parameter is invalid.");
    ticker_field = std::move(*ansi);
  }
  if (request.payload == RequestPayload::kTickerAndTimeStamp) {
    auto ansi = text.IsDate(time_stamp) ? text.ToAnsi(time_stamp) : std::nullopt;
    if (!ansi) Raise(InvalidDate, method, "The LastReceivedTimeStamp parameter is invalid.");
    time_stamp_field = std::move(*ansi);
  }

  RethrowingAsInternalError([&] {
    FrameWriter frame(frame_);
    switch (request.payload) {
      case RequestPayload::kNone: frame.SendHeader(request.message_type, 0); break;
      case RequestPayload::kTicker:
        frame.SendHeader(request.message_type, kTickerWidth);
        frame.SendString(ticker_field);
        break;
      case RequestPayload::kTickerAndPixels:
        frame.SendHeader(request.message_type, kTickerWidth + 4);
        frame.SendString(ticker_field);
        frame.SendLong(max_chart_pixels);
        break;
      case RequestPayload::kTickerAndTimeStamp:
        frame.SendHeader(request.message_type, CheckedAdd(kTickerWidth, static_cast<int64_t>(time_stamp.size())));
        frame.SendString(ticker_field);
        frame.SendString(time_stamp_field);
        break;
    }
    SendFrame(frame.Bytes());
    state_[request.flag] = true;
    RestartTimer(request.timer);
  });
}

}  // namespace moravex
