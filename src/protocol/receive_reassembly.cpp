#include <algorithm>

#include "control/chart_service_client.h"
#include "protocol/payload_decoding.h"

namespace moravex {
namespace {

struct BogusPayloadLength {};

}  // namespace

// Cuts the inbound stream into frames across any split of notifications. A
// host that pumps messages inside an event brings a nested notification,
// which goes on with the next message while the outer handler still runs.
void ChartServiceClient::Winsock1_DataArrival() {
  const uint64_t generation = connection_generation_;
  const char16_t* reason = nullptr;
  try {
    ReceiveLoop(generation);
  } catch (const BogusPayloadLength&) {
    reason = u"Bogus payload length";
  } catch (...) {
    reason = u"Winsock1_DataArrival exception";
  }
  if (reason == nullptr) return;
  // A connection that ended inside a handler was reported then; a newer one
  // is none of this failure's business.
  if (connection_generation_ != generation) return;
  ResetBeforeReporting();
  Fire(&ChartServiceEvents::Disconnected, Text(reason));
}

void ChartServiceClient::ReceiveLoop(uint64_t generation) {
  SocketComponent& socket = *components_.winsock1;
  while (connection_generation_ == generation) {
    int32_t waiting = socket.BytesReceived();
    if (waiting <= 0) return;
    if (state_.ReceiveState == AwaitingHeader) {
      const int32_t n = std::min(kHeaderLength - state_.HeaderBytesReceived, waiting);
      socket.GetData(std::span(state_.HeaderBuffer)
                         .subspan(static_cast<size_t>(state_.HeaderBytesReceived), static_cast<size_t>(n)));
      state_.HeaderBytesReceived += n;
      if (state_.HeaderBytesReceived < kHeaderLength) return;
      state_.PayloadLength = ReadLong(state_.HeaderBuffer, 2);
      if (state_.PayloadLength > kMaxPayloadLength) throw BogusPayloadLength{};
      if (state_.PayloadLength < 0) ThrowSubscriptOutOfRange();
      // A handler further out may still read this buffer.
      dispatch_levels_.FreeForCollection(state_.PayloadBuffer);
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
    // The message leaves the reassembly before its handler runs, so that a
    // nested notification starts on the next one and nothing here is undone
    // afterwards.
    state_.ReceiveState = AwaitingHeader;
    state_.HeaderBytesReceived = 0;
    const DispatchLevels::Scope dispatch(dispatch_levels_, state_.PayloadBuffer,
                                         static_cast<size_t>(state_.PayloadLength));
    ProcessMessage(state_.HeaderBuffer[0], state_.HeaderBuffer[1]);
  }
}

const Text& ChartServiceClient::PayloadText(int32_t index, int32_t count) {
  Text& text = dispatch_levels_.TextBuffer();
  ReadStringInto(text, widener_, Payload(), index, count);
  return text;
}

}  // namespace moravex
