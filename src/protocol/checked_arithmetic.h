// Arithmetic that fails with Automation's overflow instead of wrapping.
#pragma once
#include <cstdint>
#include <limits>

#include "platform/failure.h"

namespace moravex {

inline int32_t CheckedAdd(int32_t a, int64_t b) {
  const int64_t sum = static_cast<int64_t>(a) + b;
  if (sum > std::numeric_limits<int32_t>::max() || sum < std::numeric_limits<int32_t>::min()) ThrowOverflow();
  return static_cast<int32_t>(sum);
}

}  // namespace moravex
