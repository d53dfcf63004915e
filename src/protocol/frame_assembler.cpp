#include "protocol/frame_assembler.h"

#include <algorithm>

#include "platform/failure.h"
#include "protocol/payload_decoding.h"

namespace moravex {

bool FrameAssembler::Collect(SocketComponent& socket, DispatchLevels& levels) {
  ReceiveProgress& p = progress_;
  int32_t waiting = socket.BytesReceived();
  if (waiting <= 0) return false;
  if (p.ReceiveState == ReceiveStates::AwaitingHeader) {
    const int32_t n = std::min(kHeaderLength - p.HeaderBytesReceived, waiting);
    socket.GetData(
        std::span(p.HeaderBuffer).subspan(static_cast<size_t>(p.HeaderBytesReceived), static_cast<size_t>(n)));
    p.HeaderBytesReceived += n;
    if (p.HeaderBytesReceived < kHeaderLength) return false;
    p.PayloadLength = ReadLong(p.HeaderBuffer, 2);
    if (p.PayloadLength > kMaxPayloadLength) throw BogusPayloadLength{};
    if (p.PayloadLength < 0) ThrowSubscriptOutOfRange();
    // A handler further out may still read this buffer.
    levels.FreeForCollection(p.PayloadBuffer);
    // One spare zero byte past the payload, as the handlers expect. The
    // buffer keeps its largest size, so it is neither reallocated nor
    // cleared per message; the payload bytes overwrite what is there.
    const auto needed = static_cast<size_t>(p.PayloadLength) + 1;
    if (p.PayloadBuffer.size() < needed) p.PayloadBuffer.resize(needed);
    p.PayloadBuffer[needed - 1] = 0;
    p.PayloadBytesReceived = 0;
    p.ReceiveState = ReceiveStates::AwaitingPayload;
    waiting = socket.BytesReceived();
  }
  if (p.PayloadLength > 0) {
    if (waiting <= 0) return false;
    const int32_t n = std::min(p.PayloadLength - p.PayloadBytesReceived, waiting);
    socket.GetData(
        std::span(p.PayloadBuffer).subspan(static_cast<size_t>(p.PayloadBytesReceived), static_cast<size_t>(n)));
    p.PayloadBytesReceived += n;
    if (p.PayloadBytesReceived < p.PayloadLength) return false;
  }
  p.ReceiveState = ReceiveStates::AwaitingHeader;
  p.HeaderBytesReceived = 0;
  return true;
}

void FrameAssembler::Reset() {
  progress_.ReceiveState = ReceiveStates::AwaitingHeader;
  progress_.HeaderBytesReceived = 0;
  progress_.PayloadLength = 0;
  progress_.PayloadBytesReceived = 0;
}

}  // namespace moravex
