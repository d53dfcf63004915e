// Pauses before a lost connection is tried again: base, doubling per failed
// attempt, capped, each moved by up to +-jitter percent so that a pool (or
// many users) do not come back in step.
#pragma once
#include <cstdint>

#include "feed/profile.h"

namespace moravex::feed {

// `attempt` counts from 0; `unit` is a random number in [0, 1).
int32_t BackoffDelay(const Profile& profile, int attempt, double unit);

// SplitMix64: small, portable and the same everywhere, so tests can fix where it starts.
class JitterSource {
 public:
  explicit JitterSource(uint64_t seed) : state_(seed) {}
  double Next();

 private:
  uint64_t state_;
};

}  // namespace moravex::feed
