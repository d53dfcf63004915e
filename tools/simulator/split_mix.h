// A small, fully specified PRNG so that the simulated market is identical on every platform and library.
#pragma once

#include <cstdint>

namespace moravex::sim {

class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}

  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }

  // Uniform in [0, 1), from the top 53 bits.
  double NextUnit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

  // Uniform in [-1, 1).
  double NextSigned() { return NextUnit() * 2.0 - 1.0; }

 private:
  std::uint64_t state_;
};

}  // namespace moravex::sim
