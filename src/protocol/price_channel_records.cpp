#include "protocol/price_channel_records.h"

#include <bit>
#include <cstring>

#include "platform/failure.h"

namespace moravex {

PriceChannelRecords::PriceChannelRecords(std::span<const uint8_t> payload, const AnsiWidener& widener)
    : payload_(payload), widener_(widener), count_(payload.size() / kPriceChannelRecordLength) {
  if (payload.size() % kPriceChannelRecordLength > 1) ThrowSubscriptOutOfRange();
}

void PriceChannelRecords::DecodeInto(std::span<PriceChannelRow> into) const {
  const uint8_t* record = payload_.data();
  for (size_t i = 0; i < count_ && i < into.size(); ++i, record += kPriceChannelRecordLength) {
    PriceChannelRow& row = into[i];
    widener_.Widen(std::span(record, kTimeLength), row.Time.data());
    float prices[4];
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(prices, record + kTimeLength, sizeof prices);
    } else {
      const auto bytes = std::span(record, kPriceChannelRecordLength);
      for (int32_t k = 0; k < 4; ++k) prices[k] = ReadSingle(bytes, static_cast<int32_t>(kTimeLength) + 4 * k);
    }
    row.BuyReferencePrice = prices[0];
    row.SellReferencePrice = prices[1];
    row.Price = prices[2];
    row.PriceOffsetPercent = prices[3];
  }
}

}  // namespace moravex
