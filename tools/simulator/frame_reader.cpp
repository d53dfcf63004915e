#include "tools/simulator/frame_reader.h"

#include <algorithm>

namespace moravex::sim {

FrameReader::Status FrameReader::Feed(std::span<const std::uint8_t> bytes, std::vector<Frame>& frames) {
  if (failed_) return Status::kBadLength;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    if (header_bytes_ < kHeaderSize) {
      const std::size_t take = std::min(kHeaderSize - header_bytes_, bytes.size() - pos);
      std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(pos), take, header_ + header_bytes_);
      header_bytes_ += take;
      pos += take;
      if (header_bytes_ < kHeaderSize) break;
      const std::int32_t length = ReadInt32(header_ + 2);
      if (length < 0 || length > kMaxPayloadLength) {
        failed_ = true;
        return Status::kBadLength;
      }
      payload_length_ = static_cast<std::size_t>(length);
      payload_.clear();
      payload_.reserve(payload_length_);
    }
    const std::size_t take = std::min(payload_length_ - payload_.size(), bytes.size() - pos);
    payload_.insert(payload_.end(), bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                    bytes.begin() + static_cast<std::ptrdiff_t>(pos + take));
    pos += take;
    if (payload_.size() == payload_length_) {
      frames.push_back(Frame{header_[0], header_[1], std::move(payload_)});
      payload_ = Bytes{};
      header_bytes_ = 0;
    }
  }
  // A zero-length frame whose header ended exactly at the end of the data was completed inside the loop.
  return Status::kOk;
}

}  // namespace moravex::sim
