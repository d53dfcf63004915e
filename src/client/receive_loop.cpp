#include "client/chart_service_client.h"
#include "protocol/frame_assembler.h"
#include "protocol/payload_decoding.h"

namespace moravex {

// Hands each whole message to its handler. A host that pumps messages inside
// an event brings a nested notification, which goes on with the next message
// while the outer handler still runs.
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
  if (reason != nullptr) ReceiveFailed(generation, reason);
}

void ChartServiceClient::ReceiveFailed(uint64_t generation, const char16_t* reason) {
  // A connection that ended inside a handler was reported then; a newer one
  // is none of this failure's business.
  if (connection_generation_ != generation) return;
  MORAVEX_TRACE("receive failed: %s", ToUtf8(Text(reason)).c_str());
  ResetBeforeReporting();
  Fire(&ChartServiceEvents::Disconnected, Text(reason));
}

void ChartServiceClient::ReceiveLoop(uint64_t generation) {
  SocketComponent& socket = *components_.winsock1;
  while (connection_generation_ == generation) {
    if (!assembler_.Collect(socket, dispatch_levels_)) return;
    // A handler that pumps messages gets the next answer inside its loop,
    // though no new bytes bring a notification.
    if (socket.BytesReceived() > 0) socket.PostDataArrival();
    const ReceiveProgress& message = assembler_.Progress();
    const DispatchLevels::Scope dispatch(dispatch_levels_, message.PayloadBuffer,
                                         static_cast<size_t>(message.PayloadLength));
    MORAVEX_TRACE_FRAME("in", Payload());
    ProcessMessage(assembler_.MessageType(), assembler_.SecondByte());
  }
}

const Text& ChartServiceClient::PayloadText(int32_t index, int32_t count) {
  Text& text = dispatch_levels_.TextBuffer();
  ReadStringInto(text, widener_, Payload(), index, count);
  return text;
}

}  // namespace moravex
