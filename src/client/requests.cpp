// The outbound side: the data requests, debug text, and the one write of
// every frame.
#include <algorithm>

#include "client/chart_service_client.h"
#include "client/method_errors.h"
#include "client/request_table.h"
#include "protocol/checked_arithmetic.h"
#include "protocol/frame_writer.h"
#include "protocol/payload_decoding.h"

namespace moravex {
namespace {

// The one method whose errors name a shorter source.
constexpr const char* kDebugSource = "SendDbgMsg";

}  // namespace

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
  if (request.payload != RequestPayload::None) {
    // A longer ticker cannot fit its 6-byte field, and cutting it would ask
    // for another ticker.
    auto ansi = ticker.size() <= static_cast<size_t>(kTickerWidth) ? text.ToAnsi(PadToWidth(ticker, kTickerWidth))
                                                                   : std::nullopt;
    if (!ansi) Raise(InvalidTicker, method, "The Ticker parameter is invalid.");
    ticker_field = std::move(*ansi);
  }
  if (request.payload == RequestPayload::TickerAndTimeStamp) {
    auto ansi = text.IsDate(time_stamp) ? text.ToAnsi(time_stamp) : std::nullopt;
    if (!ansi) Raise(InvalidDate, method, "The LastReceivedTimeStamp parameter is invalid.");
    time_stamp_field = std::move(*ansi);
  }

  RethrowingAsInternalError([&] {
    FrameWriter frame(frame_);
    switch (request.payload) {
      case RequestPayload::None: frame.SendHeader(request.message_type, 0); break;
      case RequestPayload::Ticker:
        frame.SendHeader(request.message_type, kTickerWidth);
        frame.SendString(ticker_field);
        break;
      case RequestPayload::TickerAndPixels:
        frame.SendHeader(request.message_type, kTickerWidth + 4);
        frame.SendString(ticker_field);
        frame.SendLong(max_chart_pixels);
        break;
      case RequestPayload::TickerAndTimeStamp:
        frame.SendHeader(request.message_type, CheckedAdd(kTickerWidth, static_cast<int64_t>(time_stamp.size())));
        frame.SendString(ticker_field);
        frame.SendString(time_stamp_field);
        break;
    }
#ifndef MORAVEX_NO_TRACE
    if (__builtin_expect(trace_ != nullptr, 0)) {
      TraceRequest(method, request.flag, static_cast<uint8_t>(request.message_type), frame.Bytes().size());
    }
#endif
    SendFrame(frame.Bytes());
    state_[request.flag] = true;
    RestartTimer(request.timer);
  });
}

void ChartServiceClient::SendDebugMessage(const Text& Message) {
  if (components_.winsock1->State() != kSocketConnected) Raise(NotConnected, kDebugSource, kNotConnected);
  RethrowingAsInternalError([&] {
    const std::string ansi = AnsiOrFail(Message, kDebugSource, "Message");
    FrameWriter frame(frame_);
    frame.SendHeader(MessageType::DebugMessage, CheckedAdd(0, static_cast<int64_t>(Message.size())));
    frame.SendString(ansi);
    MORAVEX_TRACE("request SendDebugMessage length %zu", frame.Bytes().size());
    SendFrame(frame.Bytes());
  });
}

// Lengths on the wire count characters, so text must map one character to one
// byte; anything else is refused before a byte is written.
// The source is built only on failure: the send path stays free of it.
std::string ChartServiceClient::AnsiOrFail(const Text& text, const char* method, const char* what) const {
  auto ansi = components_.text->ToAnsi(text);
  if (!ansi) {
    throw Failure(InternalError, MethodSource(method),
                  std::string("The ") + what + " parameter has a character with no single-byte form.");
  }
  return std::move(*ansi);
}

void ChartServiceClient::SendFrame(std::span<const uint8_t> frame, size_t public_bytes) {
  MORAVEX_TRACE_FRAME("out", frame.first(std::min(frame.size(), public_bytes)));
  components_.winsock1->SendData(frame);
}

void ChartServiceClient::TraceRequest(const char* method, Pending flag, uint8_t message_type, size_t length) {
  asked_at_[static_cast<size_t>(flag)] = Trace::NowMicros();
  trace_->Record(instance_id_, "request %s type %u length %zu", method, message_type, length);
}

}  // namespace moravex
