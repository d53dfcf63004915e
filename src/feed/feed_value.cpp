#include "feed/feed_value.h"

#include <bit>

namespace moravex::feed {

bool SameValue(const FeedValue& a, const FeedValue& b) {
  if (a.index() != b.index()) return false;
  if (const float* x = std::get_if<float>(&a)) {
    return std::bit_cast<uint32_t>(*x) == std::bit_cast<uint32_t>(std::get<float>(b));
  }
  return a == b;
}

}  // namespace moravex::feed
