#include "bench/baselines.h"

namespace moravex::bench {

void MinimalPriceDecoder::Answer(const uint8_t* payload, size_t length, Totals& totals) {
  const size_t count = std::min(length / kRecord, rows_.size());
  const AnsiTable& table = table_;
  PriceChannelRow* const rows = rows_.data();
  for (size_t i = 0; i < count; ++i, payload += kRecord) {
    PriceChannelRow& row = rows[i];
    for (size_t k = 0; k < kTimeLength; ++k) row.Time[k] = table[payload[k]];
    std::memcpy(&row.BuyReferencePrice, payload + 8, 4);
    std::memcpy(&row.SellReferencePrice, payload + 12, 4);
    std::memcpy(&row.Price, payload + 16, 4);
    std::memcpy(&row.PriceOffsetPercent, payload + 20, 4);
  }
  PriceChannelRow chunk[kReadChunk];
  for (size_t at = 0; at < count; at += kReadChunk) {
    const size_t n = std::min(kReadChunk, count - at);
    std::memcpy(chunk, rows_.data() + at, n * sizeof(PriceChannelRow));
    AddRows({chunk, n}, totals);
  }
  ++totals.messages;
}

void MinimalTextDecoder::Answer(const uint8_t* payload, size_t length, Totals& totals) {
  length = std::min(length, text_.size());
  const AnsiTable& table = table_;
  char16_t* const text = text_.data();
  for (size_t k = 0; k < length; ++k) text[k] = table[payload[k]];
  AddText({text, length}, totals);
}

template <class Decoder>
void MinimalReceiver<Decoder>::Feed(const uint8_t* p, size_t n, Totals& totals) {
  if (have_ > 0) {
    if (have_ < kHeader) {
      const size_t take = std::min(kHeader - have_, n);
      std::memcpy(pending_.data() + have_, p, take);
      have_ += take;
      p += take;
      n -= take;
      if (have_ < kHeader) return;
      total_ = kHeader + PayloadLength(pending_.data());
    }
    const size_t take = std::min(total_ - have_, n);
    std::memcpy(pending_.data() + have_, p, take);
    have_ += take;
    p += take;
    n -= take;
    if (have_ < total_) return;
    decoder_.Answer(pending_.data() + kHeader, total_ - kHeader, totals);
    have_ = 0;
  }
  while (n >= kHeader) {
    const size_t total = kHeader + PayloadLength(p);
    if (n < total) break;
    decoder_.Answer(p + kHeader, total - kHeader, totals);
    p += total;
    n -= total;
  }
  if (n > 0) {
    std::memcpy(pending_.data(), p, n);
    have_ = n;
    if (have_ >= kHeader) total_ = kHeader + PayloadLength(pending_.data());
  }
}

template class MinimalReceiver<MinimalPriceDecoder>;
template class MinimalReceiver<MinimalTextDecoder>;

}  // namespace moravex::bench
