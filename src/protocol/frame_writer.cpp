#include "protocol/frame_writer.h"

#include <limits>

#include "platform/failure.h"

namespace moravex {

void FrameWriter::SendHeader(int32_t message_type, int32_t second_byte, int32_t payload_length) {
  if (message_type < 0 || message_type > 255 || second_byte < 0 || second_byte > 255) {
    ThrowOverflow();
  }
  bytes_.push_back(static_cast<uint8_t>(message_type));
  bytes_.push_back(static_cast<uint8_t>(second_byte));
  SendLong(payload_length);
}

void FrameWriter::SendString(std::string_view ansi) { bytes_.insert(bytes_.end(), ansi.begin(), ansi.end()); }

void FrameWriter::SendLong(int32_t value) {
  const auto u = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<uint8_t>(u >> shift));
}

void FrameWriter::SendByte(uint8_t value) { bytes_.push_back(value); }

int32_t CheckedAdd(int32_t a, int64_t b) {
  const int64_t sum = static_cast<int64_t>(a) + b;
  if (sum > std::numeric_limits<int32_t>::max() || sum < std::numeric_limits<int32_t>::min()) {
    ThrowOverflow();
  }
  return static_cast<int32_t>(sum);
}

}  // namespace moravex
