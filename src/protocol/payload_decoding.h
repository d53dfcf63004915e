// Field decoders over a received buffer. A field that does not lie wholly
// inside the buffer fails with "Subscript out of range".
#pragma once
#include <cstdint>
#include <span>

#include "platform/text.h"
#include "platform/text_conversion.h"

namespace moravex {

int32_t ReadLong(std::span<const uint8_t> buffer, int32_t index);
float ReadSingle(std::span<const uint8_t> buffer, int32_t index);
// Count must be at least 1; zero bytes become characters of code 0.
Text ReadString(const TextConversion& conversion, std::span<const uint8_t> buffer, int32_t index,
                int32_t count);
// Right-justifies text in a field of `width` characters; longer text is
// returned unchanged (no caller passes it).
Text PadToWidth(const Text& text, int16_t width);

}  // namespace moravex
