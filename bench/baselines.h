// What every figure is compared with: the least code that turns the same
// bytes into the same values and reads them back the same way.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "platform/record_set.h"
#include "protocol/payload_decoding.h"
#include "bench/wire.h"

namespace moravex::bench {

// What a host's handler does with the values it receives: adds them all up.
struct Totals {
  double values = 0;
  uint64_t characters = 0;
  uint64_t rows = 0;
  uint64_t messages = 0;
};

inline void AddRows(std::span<const PriceChannelRow> rows, Totals& totals) {
  for (const PriceChannelRow& row : rows) {
    for (const char16_t c : row.Time) totals.characters += c;
    totals.values += static_cast<double>(row.BuyReferencePrice) + static_cast<double>(row.SellReferencePrice) +
                     static_cast<double>(row.Price) + static_cast<double>(row.PriceOffsetPercent);
  }
  totals.rows += rows.size();
}

inline void AddText(std::span<const char16_t> text, Totals& totals) {
  uint64_t sum = 0;
  for (const char16_t c : text) sum += c;
  totals.characters += sum;
  ++totals.messages;
}

// Rows are read back in chunks into a stack buffer, as a host calls GetRows.
inline constexpr size_t kReadChunk = 256;

// Decodes records into preallocated rows (8 characters through the code
// page's table, 4 singles), then reads them back in chunks.
class MinimalPriceDecoder {
 public:
  explicit MinimalPriceDecoder(const AnsiTable& table) : table_(table), rows_(kFullRows) {}

  void Answer(const uint8_t* payload, size_t length, Totals& totals);

 private:
  const AnsiTable& table_;
  std::vector<PriceChannelRow> rows_;
};

// Widens text through the code page's table into a preallocated buffer and
// reads it.
class MinimalTextDecoder {
 public:
  explicit MinimalTextDecoder(const AnsiTable& table) : table_(table), text_(100000) {}

  void Answer(const uint8_t* payload, size_t length, Totals& totals);

 private:
  const AnsiTable& table_;
  std::vector<char16_t> text_;
};

// Cuts frames out of the stream as it arrives: whole frames are handed on
// where they lie, only a frame split across arrivals is copied together.
template <class Decoder>
class MinimalReceiver {
 public:
  explicit MinimalReceiver(Decoder& decoder) : decoder_(decoder), pending_(kHeader + 100000) {}

  void Feed(const uint8_t* p, size_t n, Totals& totals);

 private:
  Decoder& decoder_;
  std::vector<uint8_t> pending_;
  size_t have_ = 0;
  size_t total_ = 0;
};

// Compiled once in baselines.cpp, so the baselines' code does not change with
// what the benchmark around them inlines.
extern template class MinimalReceiver<MinimalPriceDecoder>;
extern template class MinimalReceiver<MinimalTextDecoder>;

}  // namespace moravex::bench
