// The native build's system code page (Windows-1252) and its date test.
#pragma once
#include "platform/text_conversion.h"

namespace moravex {

class Windows1252Conversion final : public TextConversion {
 public:
  std::optional<std::string> ToAnsi(const Text& text) const override;
  const std::array<char16_t, 256>& AnsiCharacters() const override;
  bool IsDate(const Text& text) const override;
};

}  // namespace moravex
