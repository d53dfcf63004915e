#include "windows/components/ansi_conversion.h"

#include "windows/com/windows_headers.h"

#include "windows/components/system_text.h"

namespace moravex::windows {

std::optional<std::string> AnsiConversion::ToAnsi(const Text& text) const {
  if (text.empty()) return std::string();
  const int length = static_cast<int>(text.size());
  std::string out(text.size(), '\0');
  int written = 0;
  if (GetACP() == CP_UTF8) {
    // A UTF-8 system code page takes neither flag nor default-char report;
    // one byte per character then means ASCII only.
    written = WideCharToMultiByte(CP_UTF8, 0, Wide(text), length, out.data(), length, nullptr, nullptr);
  } else {
    BOOL used_default = FALSE;
    written = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, Wide(text), length, out.data(), length, nullptr,
                                  &used_default);
    if (used_default) return std::nullopt;
  }
  // Too small a buffer (a character needing two bytes) fails the call; a
  // shorter result cannot keep one byte per character either.
  if (written != length) return std::nullopt;
  return out;
}

const std::array<char16_t, 256>& AnsiConversion::AnsiCharacters() const {
  static const std::array<char16_t, 256> table = [] {
    std::array<char16_t, 256> characters{};
    for (int byte = 0; byte < 256; ++byte) {
      const char alone = static_cast<char>(byte);
      wchar_t converted[2] = {};
      const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &alone, 1, converted, 2);
      characters[static_cast<size_t>(byte)] = n == 1 ? static_cast<char16_t>(converted[0]) : u'\xFFFD';
    }
    return characters;
  }();
  return table;
}

bool AnsiConversion::IsDate(const Text& text) const {
  DATE date = 0;
  // The header declares the input non-const; the call only reads it.
  return VarDateFromStr(const_cast<OLECHAR*>(Wide(text)), LOCALE_USER_DEFAULT, 0, &date) == S_OK;
}

}  // namespace moravex::windows
