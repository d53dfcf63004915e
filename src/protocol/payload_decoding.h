// Field decoders over a received buffer. A field that does not lie wholly
// inside the buffer fails with "Subscript out of range".
#pragma once
#include <array>
#include <cstdint>
#include <cstring>
#include <span>

#include "platform/text.h"

namespace moravex {

using AnsiTable = std::array<char16_t, 256>;

// Inbound text through the code page's table, one character per byte. Where
// the code page leaves ASCII as it is, ASCII runs skip the table eight bytes
// at a time.
class AnsiWidener {
 public:
  // The table must outlive the widener.
  explicit AnsiWidener(const AnsiTable& characters);
  // Inline: price-channel records widen 8 bytes per row.
  void Widen(std::span<const uint8_t> bytes, char16_t* out) const {
    const uint8_t* in = bytes.data();
    size_t n = bytes.size();
    if (ascii_is_identity_) {
      for (; n >= 8; in += 8, out += 8, n -= 8) {
        uint64_t word;
        std::memcpy(&word, in, 8);
        if ((word & 0x8080808080808080ull) != 0) {
          for (int k = 0; k < 8; ++k) out[k] = characters_[in[k]];
        } else {
          for (int k = 0; k < 8; ++k) out[k] = in[k];
        }
      }
    }
    for (size_t k = 0; k < n; ++k) out[k] = characters_[in[k]];
  }
  const AnsiTable& Characters() const { return characters_; }

 private:
  const AnsiTable& characters_;
  bool ascii_is_identity_;
};

int32_t ReadLong(std::span<const uint8_t> buffer, int32_t index);
float ReadSingle(std::span<const uint8_t> buffer, int32_t index);
// `count` characters from `index` into `out`, reusing its storage. Count must
// be at least 1; one character per byte, zero bytes included.
void ReadStringInto(Text& out, const AnsiWidener& widener, std::span<const uint8_t> buffer, int32_t index,
                    int32_t count);
// Right-justifies text in a field of `width` characters; longer text is
// returned unchanged (no caller passes it).
Text PadToWidth(const Text& text, int16_t width);

}  // namespace moravex
