// The records of a price-channel answer: 24 bytes each, the time as 8 bytes of
// text, then four little-endian singles.
#pragma once
#include <cstdint>
#include <span>

#include "platform/record_set.h"
#include "protocol/payload_decoding.h"

namespace moravex {

inline constexpr int32_t kPriceChannelRecordLength = 24;

class PriceChannelRecords final : public PriceChannelRows {
 public:
  // A 1-byte tail after the last whole record is ignored; a longer partial
  // record fails with "Subscript out of range" rather than being completed
  // with the buffer's spare zero byte.
  PriceChannelRecords(std::span<const uint8_t> payload, const AnsiWidener& widener);

  size_t Count() const override { return count_; }
  void DecodeInto(std::span<PriceChannelRow> into) const override;

 private:
  std::span<const uint8_t> payload_;
  const AnsiWidener& widener_;
  size_t count_;
};

}  // namespace moravex
