// The system code page (CP_ACP) and Automation's date test.
#pragma once
#include "platform/text_conversion.h"

namespace moravex::windows {

class AnsiConversion final : public TextConversion {
 public:
  // Text whose every character has a single-byte form in the system code
  // page, converted without best-fit substitutes; nothing otherwise.
  std::optional<std::string> ToAnsi(const Text& text) const override;
  // Each byte converted alone with MultiByteToWideChar(CP_ACP,
  // MB_ERR_INVALID_CHARS). A byte that does not convert alone to exactly one
  // character (a DBCS lead byte, a byte the code page rejects) stands for
  // U+FFFD, which ToAnsi never yields. Built once per process.
  const std::array<char16_t, 256>& AnsiCharacters() const override;
  // VarDateFromStr under LOCALE_USER_DEFAULT. Like Automation's conversion of
  // a BSTR, it reads the text up to its first zero character.
  bool IsDate(const Text& text) const override;
};

}  // namespace moravex::windows
