#include "feed/status_text.h"

#include <string>

namespace moravex::feed {

Text TickerStatusText(const PoolSummary& pool, bool stale, const Text& refused) {
  if (!refused.empty()) return refused;
  if (!pool.blocked.empty()) return pool.blocked;
  if (pool.live > 0) return stale ? u"Stale" : u"Live";
  if (pool.logging_in > 0) return u"Logging in";
  if (pool.connecting > 0) return u"Connecting";
  if (pool.waiting > 0) {
    return u"Reconnecting in " + FromUtf8(std::to_string((pool.shortest_wait_ms + 999) / 1000)) + u" s";
  }
  return u"Connecting";
}

}  // namespace moravex::feed
