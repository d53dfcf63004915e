#include "protocol/payload_decoding.h"

#include <cstring>

#include "platform/failure.h"

namespace moravex {
namespace {

void RequireWithin(std::span<const uint8_t> buffer, int32_t index, int32_t count) {
  if (index < 0 || count < 1 || static_cast<int64_t>(index) + count > static_cast<int64_t>(buffer.size())) {
    ThrowSubscriptOutOfRange();
  }
}

bool AsciiIsIdentity(const AnsiTable& characters) {
  for (char16_t c = 0; c < 0x80; ++c) {
    if (characters[c] != c) return false;
  }
  return true;
}

}  // namespace

int32_t ReadLong(std::span<const uint8_t> buffer, int32_t index) {
  RequireWithin(buffer, index, 4);
  const uint8_t* p = buffer.data() + index;
  const uint32_t u = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
  return static_cast<int32_t>(u);
}

float ReadSingle(std::span<const uint8_t> buffer, int32_t index) {
  const uint32_t bits = static_cast<uint32_t>(ReadLong(buffer, index));
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void WidenAnsi(std::span<const uint8_t> bytes, const AnsiTable& characters, char16_t* out) {
  const uint8_t* in = bytes.data();
  size_t n = bytes.size();
  // Long texts are mostly ASCII: where the code page leaves ASCII as it is,
  // runs of it widen eight bytes at a time without the table.
  if (n >= 64 && AsciiIsIdentity(characters)) {
    while (n >= 8) {
      uint64_t word;
      std::memcpy(&word, in, 8);
      if ((word & 0x8080808080808080ull) != 0) {
        for (int k = 0; k < 8; ++k) out[k] = characters[in[k]];
      } else {
        for (int k = 0; k < 8; ++k) out[k] = in[k];
      }
      in += 8;
      out += 8;
      n -= 8;
    }
  }
  for (size_t k = 0; k < n; ++k) out[k] = characters[in[k]];
}

void ReadStringInto(Text& out, const AnsiTable& characters, std::span<const uint8_t> buffer, int32_t index,
                    int32_t count) {
  RequireWithin(buffer, index, count);
  out.resize(static_cast<size_t>(count));
  WidenAnsi(buffer.subspan(static_cast<size_t>(index), static_cast<size_t>(count)), characters, out.data());
}

Text ReadString(const AnsiTable& characters, std::span<const uint8_t> buffer, int32_t index, int32_t count) {
  Text text;
  ReadStringInto(text, characters, buffer, index, count);
  return text;
}

Text PadToWidth(const Text& text, int16_t width) {
  if (width < 0 || text.size() >= static_cast<size_t>(width)) return text;
  return Text(static_cast<size_t>(width) - text.size(), u' ') + text;
}

}  // namespace moravex
