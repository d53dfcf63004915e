#include "native/windows_1252.h"

#include "native/date_text.h"

namespace moravex {
namespace {

// 0x80..0x9F; the five unassigned bytes map to the C1 control of the same
// value, as the platform's own conversion does.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

std::optional<std::string> Windows1252Conversion::ToAnsi(const Text& text) const {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    int found = -1;
    for (int i = 0; i < 32; ++i) {
      if (kHigh[i] == c) found = i;
    }
    if (found < 0) return std::nullopt;
    out.push_back(static_cast<char>(0x80 + found));
  }
  return out;
}

const std::array<char16_t, 256>& Windows1252Conversion::AnsiCharacters() const {
  static const std::array<char16_t, 256> table = [] {
    std::array<char16_t, 256> t{};
    for (int b = 0; b < 256; ++b) t[b] = (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : static_cast<char16_t>(b);
    return t;
  }();
  return table;
}

bool Windows1252Conversion::IsDate(const Text& text) const { return IsEnUsDateText(text); }

}  // namespace moravex
