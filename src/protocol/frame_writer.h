// Builds one outbound message. The send primitives append to a buffer and the
// whole frame reaches the socket in one write, so a failed send never leaves
// half a frame behind a call that reported success.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "protocol/message_types.h"

namespace moravex {

class FrameWriter {
 public:
  // Writes into `bytes`, emptied first; a reused buffer keeps its capacity.
  explicit FrameWriter(std::vector<uint8_t>& bytes) : bytes_(bytes) { bytes_.clear(); }

  // Both bytes must lie in 0..255 (overflow otherwise, nothing written).
  void SendHeader(int32_t message_type, int32_t second_byte, int32_t payload_length);
  void SendHeader(MessageType type, int32_t payload_length) {
    SendHeader(static_cast<int32_t>(type), 0, payload_length);
  }
  // Single-byte text, no prefix, no terminator.
  void SendString(std::string_view ansi);
  void SendLong(int32_t value);
  void SendByte(uint8_t value);

  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t>& bytes_;
};

}  // namespace moravex
