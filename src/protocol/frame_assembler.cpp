#include "protocol/frame_assembler.h"

#include <algorithm>

#include "platform/failure.h"
#include "protocol/payload_decoding.h"

namespace moravex {

bool CollectMessage(ClientState& state, DispatchLevels& levels, SocketComponent& socket) {
  int32_t waiting = socket.BytesReceived();
  if (waiting <= 0) return false;
  if (state.ReceiveState == AwaitingHeader) {
    const int32_t n = std::min(kHeaderLength - state.HeaderBytesReceived, waiting);
    socket.GetData(
        std::span(state.HeaderBuffer).subspan(static_cast<size_t>(state.HeaderBytesReceived), static_cast<size_t>(n)));
    state.HeaderBytesReceived += n;
    if (state.HeaderBytesReceived < kHeaderLength) return false;
    state.PayloadLength = ReadLong(state.HeaderBuffer, 2);
    if (state.PayloadLength > kMaxPayloadLength) throw BogusPayloadLength{};
    if (state.PayloadLength < 0) ThrowSubscriptOutOfRange();
    // A handler further out may still read this buffer.
    levels.FreeForCollection(state.PayloadBuffer);
    // One spare zero byte past the payload, as the handlers expect. The
    // buffer keeps its largest size, so it is neither reallocated nor
    // cleared per message; the payload bytes overwrite what is there.
    const auto needed = static_cast<size_t>(state.PayloadLength) + 1;
    if (state.PayloadBuffer.size() < needed) state.PayloadBuffer.resize(needed);
    state.PayloadBuffer[needed - 1] = 0;
    state.PayloadBytesReceived = 0;
    state.ReceiveState = AwaitingPayload;
    waiting = socket.BytesReceived();
  }
  if (state.PayloadLength > 0) {
    if (waiting <= 0) return false;
    const int32_t n = std::min(state.PayloadLength - state.PayloadBytesReceived, waiting);
    socket.GetData(std::span(state.PayloadBuffer)
                       .subspan(static_cast<size_t>(state.PayloadBytesReceived), static_cast<size_t>(n)));
    state.PayloadBytesReceived += n;
    if (state.PayloadBytesReceived < state.PayloadLength) return false;
  }
  state.ReceiveState = AwaitingHeader;
  state.HeaderBytesReceived = 0;
  return true;
}

}  // namespace moravex
