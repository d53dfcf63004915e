// Requests per second on one connection, as a bucket that holds one second's
// worth: a quiet connection may send a burst, a busy one no more than the rate.
#pragma once
#include <cstdint>

namespace moravex::feed {

class PaceLimit {
 public:
  // 0: no limit.
  PaceLimit(int32_t per_second, int64_t now_ms);
  bool TryTake(int64_t now_ms);

 private:
  int64_t per_second_;
  int64_t milli_tokens_;
  int64_t last_ms_;
};

}  // namespace moravex::feed
