// Cuts the inbound stream into messages across any split of notifications.
// It owns its progress between reads and knows nothing of what the messages
// mean, so it is driven, and tested, on bytes alone.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/socket_component.h"
#include "protocol/dispatch_levels.h"

namespace moravex {

inline constexpr int32_t kHeaderLength = 6;
inline constexpr int32_t kMaxPayloadLength = 100000;
// The most one message can take on the wire.
inline constexpr size_t kLargestFrame = kHeaderLength + kMaxPayloadLength;

enum class ReceiveStates : int32_t { AwaitingHeader = 0, AwaitingPayload = 1 };

// A header that announces more than the largest payload.
struct BogusPayloadLength {};

// How far the message under way has come.
struct ReceiveProgress {
  ReceiveStates ReceiveState = ReceiveStates::AwaitingHeader;
  std::array<uint8_t, kHeaderLength> HeaderBuffer{};
  int32_t HeaderBytesReceived = 0;
  // At least one byte longer than the payload; the byte after it is always 0.
  std::vector<uint8_t> PayloadBuffer;
  int32_t PayloadLength = 0;
  int32_t PayloadBytesReceived = 0;
};

class FrameAssembler {
 public:
  // True once a message is whole: its header in HeaderBuffer, its payload in
  // the first PayloadLength bytes of PayloadBuffer, and the progress already
  // awaiting the next header (so that a nested read starts on the next
  // message). False when the socket holds no more of it. Never asks the
  // socket for more than it holds. Throws BogusPayloadLength for a length
  // above the limit, Failure for a negative one or a failed read.
  // `levels` lends out the collection buffer while an outer handler still
  // reads it.
  bool Collect(SocketComponent& socket, DispatchLevels& levels);
  // Back to awaiting a header with every counter 0; the buffers keep the
  // last message's bytes.
  void Reset();

  const ReceiveProgress& Progress() const { return progress_; }
  uint8_t MessageType() const { return progress_.HeaderBuffer[0]; }
  uint8_t SecondByte() const { return progress_.HeaderBuffer[1]; }

 private:
  ReceiveProgress progress_;
};

}  // namespace moravex
