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

AnsiWidener::AnsiWidener(const AnsiTable& characters)
    : characters_(characters), ascii_is_identity_(AsciiIsIdentity(characters)) {}

void ReadStringInto(Text& out, const AnsiWidener& widener, std::span<const uint8_t> buffer, int32_t index,
                    int32_t count) {
  RequireWithin(buffer, index, count);
  out.resize(static_cast<size_t>(count));
  widener.Widen(buffer.subspan(static_cast<size_t>(index), static_cast<size_t>(count)), out.data());
}

Text PadToWidth(const Text& text, int16_t width) {
  if (width < 0 || text.size() >= static_cast<size_t>(width)) return text;
  return Text(static_cast<size_t>(width) - text.size(), u' ') + text;
}

}  // namespace moravex
