#include "feed/backoff.h"

#include <algorithm>

namespace moravex::feed {

int32_t BackoffDelay(const Profile& profile, int attempt, double unit) {
  double delay = profile.backoff_base_ms;
  for (int i = 0; i < attempt && delay < profile.backoff_max_ms; ++i) delay *= 2;
  delay = std::min<double>(delay, profile.backoff_max_ms);
  delay *= 1.0 + profile.jitter_percent / 100.0 * (2.0 * unit - 1.0);
  return std::clamp(static_cast<int32_t>(delay), 1, profile.backoff_max_ms);
}

double JitterSource::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) / static_cast<double>(1ull << 53);
}

}  // namespace moravex::feed
