#include <algorithm>

#include "control/chart_service_client.h"
#include "protocol/payload_decoding.h"

namespace moravex {
namespace {

struct BogusPayloadLength {};

}  // namespace

// Cuts the inbound stream into frames across any split of notifications.
void ChartServiceClient::Winsock1_DataArrival() {
  // A host that pumps messages inside an event handler can deliver a nested
  // notification; the outer loop reads every waiting byte anyway.
  if (receiving_) return;
  receiving_ = true;
  const char16_t* reason = nullptr;
  try {
    ReceiveLoop();
  } catch (const BogusPayloadLength&) {
    reason = u"Bogus payload length";
  } catch (...) {
    reason = u"Winsock1_DataArrival exception";
  }
  receiving_ = false;
  if (reason == nullptr) return;
  ResetBeforeReporting();
  Fire(&ChartServiceEvents::Disconnected, Text(reason));
}

void ChartServiceClient::ReceiveLoop() {
  SocketComponent& socket = *components_.winsock1;
  for (;;) {
    int32_t waiting = socket.BytesReceived();
    if (waiting <= 0) return;
    if (state_.ReceiveState == AwaitingHeader) {
      const int32_t n = std::min(kHeaderLength - state_.HeaderBytesReceived, waiting);
      socket.GetData(std::span(state_.HeaderBuffer).subspan(static_cast<size_t>(state_.HeaderBytesReceived),
                                                             static_cast<size_t>(n)));
      state_.HeaderBytesReceived += n;
      if (state_.HeaderBytesReceived < kHeaderLength) return;
      state_.PayloadLength = ReadLong(state_.HeaderBuffer, 2);
      if (state_.PayloadLength > kMaxPayloadLength) throw BogusPayloadLength{};
      if (state_.PayloadLength < 0) ThrowSubscriptOutOfRange();
      // One spare zero byte past the payload, as the handlers expect. The
      // buffer keeps its largest size, so it is neither reallocated nor
      // cleared per message; the payload bytes overwrite what is there.
      const auto needed = static_cast<size_t>(state_.PayloadLength) + 1;
      if (state_.PayloadBuffer.size() < needed) state_.PayloadBuffer.resize(needed);
      state_.PayloadBuffer[needed - 1] = 0;
      state_.PayloadBytesReceived = 0;
      state_.ReceiveState = AwaitingPayload;
      waiting = socket.BytesReceived();
    }
    if (state_.PayloadLength > 0) {
      if (waiting <= 0) return;
      const int32_t n = std::min(state_.PayloadLength - state_.PayloadBytesReceived, waiting);
      socket.GetData(std::span(state_.PayloadBuffer)
                         .subspan(static_cast<size_t>(state_.PayloadBytesReceived), static_cast<size_t>(n)));
      state_.PayloadBytesReceived += n;
      if (state_.PayloadBytesReceived < state_.PayloadLength) return;
    }
    ProcessMessage(state_.HeaderBuffer[0], state_.HeaderBuffer[1]);
    state_.ReceiveState = AwaitingHeader;
    state_.HeaderBytesReceived = 0;
  }
}

std::span<const uint8_t> ChartServiceClient::Payload() const {
  return std::span(state_.PayloadBuffer).first(static_cast<size_t>(state_.PayloadLength));
}

const Text& ChartServiceClient::PayloadText(int32_t index, int32_t count) {
  ReadStringInto(inbound_text_, widener_, Payload(), index, count);
  return inbound_text_;
}

}  // namespace moravex
