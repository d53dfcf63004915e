#include "tests/fuzz/observed_event.h"

#include <cstdio>

namespace moravex::fuzz {
namespace {

std::string Escaped(const Text& text) {
  std::string out = "\"";
  size_t shown = 0;
  for (char16_t c : text) {
    if (++shown > 120) {
      out += "...(" + std::to_string(text.size()) + " chars)";
      break;
    }
    char buffer[16];
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
      out += buffer;
    }
  }
  return out + "\"";
}

std::string Hex32(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%08X", value);
  return buffer;
}

}  // namespace

std::string Describe(const ObservedEvent& event) {
  std::string out = event.name + "(" + std::to_string(event.number);
  if (!event.text.empty()) out += ", " + Escaped(event.text);
  for (uint32_t bits : event.price_bits) out += ", " + Hex32(bits);
  if (!event.rows.empty()) out += ", rows=" + std::to_string(event.rows.size());
  for (size_t i = 0; i < event.rows.size() && i < 4; ++i) {
    const ObservedRow& row = event.rows[i];
    out += " [" + Escaped(Text(row.time.begin(), row.time.end()));
    for (uint32_t bits : row.price_bits) out += " " + Hex32(bits);
    out += "]";
  }
  out += ")";
  return event.depth == 0 ? out : std::string(static_cast<size_t>(2 * event.depth), ' ') + out;
}

}  // namespace moravex::fuzz
