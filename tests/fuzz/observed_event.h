// One thing the host saw: an event with its arguments, or the outcome of a
// method call it made. Prices are kept as bit patterns and record sets as the
// rows read back through their read side, so equality is exact.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/text.h"

namespace moravex::fuzz {

struct ObservedRow {
  std::array<char16_t, 8> time{};
  std::array<uint32_t, 4> price_bits{};
  bool operator==(const ObservedRow&) const = default;
};

struct ObservedEvent {
  // The event's name; "Call:<method>" for a method the host called, with the
  // failure number raised (0 for none) in `number`.
  std::string name;
  int32_t number = 0;
  Text text;
  std::vector<uint32_t> price_bits;
  std::vector<ObservedRow> rows;
  // How many of the host's handlers were running when it came: a message
  // pumped inside a handler is dispatched there, not after it returns.
  int depth = 0;
  bool operator==(const ObservedEvent&) const = default;
};

std::string Describe(const ObservedEvent& event);

}  // namespace moravex::fuzz
