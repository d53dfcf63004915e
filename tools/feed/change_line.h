// moravex-feed's output: one JSON object per changed topic, in the shell's conventions.
#pragma once
#include <string>

#include "feed/feed_value.h"
#include "feed/topic.h"

namespace moravex::feed {

// {"profile":P,"ticker":T,"field":F,"value":V}; no "ticker" for a topic without one;
// the value null, a single, a whole number or a text.
std::string ChangeLine(const Topic& topic, const FeedValue& value);

}  // namespace moravex::feed
