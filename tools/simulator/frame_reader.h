// Per-connection reassembly of the client's byte stream into frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tools/simulator/wire.h"

namespace moravex::sim {

struct Frame {
  std::uint8_t type = 0;
  std::uint8_t second_byte = 0;
  Bytes payload;
};

class FrameReader {
 public:
  enum class Status { kOk, kBadLength };

  // Appends every frame completed by `bytes` to `frames`, in stream order. A header announcing a negative length or
  // more than kMaxPayloadLength stops the reader for good: the stream cannot be resynchronised.
  Status Feed(std::span<const std::uint8_t> bytes, std::vector<Frame>& frames);

 private:
  std::uint8_t header_[kHeaderSize] = {};
  std::size_t header_bytes_ = 0;
  std::size_t payload_length_ = 0;
  Bytes payload_;
  bool failed_ = false;
};

}  // namespace moravex::sim
