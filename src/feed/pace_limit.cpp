#include "feed/pace_limit.h"

#include <algorithm>

namespace moravex::feed {

PaceLimit::PaceLimit(int32_t per_second, int64_t now_ms)
    : per_second_(per_second), milli_tokens_(int64_t{per_second} * 1000), last_ms_(now_ms) {}

bool PaceLimit::TryTake(int64_t now_ms) {
  if (per_second_ == 0) return true;
  milli_tokens_ = std::min(per_second_ * 1000, milli_tokens_ + (now_ms - last_ms_) * per_second_);
  last_ms_ = now_ms;
  if (milli_tokens_ < 1000) return false;
  milli_tokens_ -= 1000;
  return true;
}

}  // namespace moravex::feed
