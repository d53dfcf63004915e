// Strict decimal parsing for option values: the whole text must be the number.
#pragma once

#include <charconv>
#include <optional>
#include <string_view>

namespace moravex::sim {

template <typename Integer>
std::optional<Integer> ParseInteger(std::string_view text) {
  Integer value{};
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc{} || ptr != end) return std::nullopt;
  return value;
}

}  // namespace moravex::sim
