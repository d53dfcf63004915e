// The system code page and the host's date parsing, as the platform offers them.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/text.h"

namespace moravex {

class TextConversion {
 public:
  virtual ~TextConversion() = default;
  // One byte per character, or nothing when some character has no
  // single-byte form (the framing counts characters).
  virtual std::optional<std::string> ToAnsi(const Text& text) const = 0;
  // Every byte becomes one character, zero bytes included.
  virtual Text FromAnsi(std::span<const uint8_t> bytes) const = 0;
  // True when the text converts to a date under the user's locale.
  virtual bool IsDate(const Text& text) const = 0;
};

}  // namespace moravex
