#include "protocol/frame_writer.h"

#include "platform/failure.h"

namespace moravex {

void FrameWriter::SendHeader(int32_t message_type, int32_t second_byte, int32_t payload_length) {
  if (message_type < 0 || message_type > 255 || second_byte < 0 || second_byte > 255) {
    ThrowOverflow();
  }
  const uint8_t head[] = {static_cast<uint8_t>(message_type), static_cast<uint8_t>(second_byte)};
  bytes_.insert(bytes_.end(), head, head + 2);
  SendLong(payload_length);
}

void FrameWriter::SendString(std::string_view ansi) { bytes_.insert(bytes_.end(), ansi.begin(), ansi.end()); }

void FrameWriter::SendLong(int32_t value) {
  const auto u = static_cast<uint32_t>(value);
  const uint8_t le[] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
                        static_cast<uint8_t>(u >> 24)};
  bytes_.insert(bytes_.end(), le, le + 4);
}

void FrameWriter::SendByte(uint8_t value) { bytes_.insert(bytes_.end(), &value, &value + 1); }

}  // namespace moravex
