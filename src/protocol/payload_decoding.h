// Field decoders over a received buffer. A field that does not lie wholly
// inside the buffer fails with "Subscript out of range".
#pragma once
#include <array>
#include <cstdint>
#include <span>

#include "platform/text.h"

namespace moravex {

using AnsiTable = std::array<char16_t, 256>;

int32_t ReadLong(std::span<const uint8_t> buffer, int32_t index);
float ReadSingle(std::span<const uint8_t> buffer, int32_t index);
// Count must be at least 1; one character per byte, zero bytes included.
Text ReadString(const AnsiTable& characters, std::span<const uint8_t> buffer, int32_t index, int32_t count);
// The same into `out`, reusing its storage.
void ReadStringInto(Text& out, const AnsiTable& characters, std::span<const uint8_t> buffer, int32_t index,
                    int32_t count);
// Widens bytes.size() bytes into `out` through the code page's table.
void WidenAnsi(std::span<const uint8_t> bytes, const AnsiTable& characters, char16_t* out);
// Right-justifies text in a field of `width` characters; longer text is
// returned unchanged (no caller passes it).
Text PadToWidth(const Text& text, int16_t width);

}  // namespace moravex
