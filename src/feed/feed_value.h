// A topic's value as a consumer reads it.
#pragma once
#include <cstdint>
#include <variant>

#include "platform/text.h"

namespace moravex::feed {

// Nothing yet, a price (a single, as the server sends it), a count, or a text.
using FeedValue = std::variant<std::monostate, float, int32_t, Text>;

// Prices compare bit for bit, so a NaN that stays NaN is no change.
bool SameValue(const FeedValue& a, const FeedValue& b);

}  // namespace moravex::feed
