// The system code page and the host's date parsing, as the platform offers them.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/text.h"

namespace moravex {

class TextConversion {
 public:
  virtual ~TextConversion() = default;
  // One byte per character, or nothing when some character has no
  // single-byte form (the framing counts characters).
  virtual std::optional<std::string> ToAnsi(const Text& text) const = 0;
  // The character each byte stands for. Inbound text takes one character per
  // byte, zero bytes included, so a table is the whole conversion; it must
  // stay valid as long as the conversion does.
  virtual const std::array<char16_t, 256>& AnsiCharacters() const = 0;
  // True when the text converts to a date under the user's locale.
  virtual bool IsDate(const Text& text) const = 0;
};

}  // namespace moravex
