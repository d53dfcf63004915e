// The texts of Status: what a profile's pool is doing, as one line.
#pragma once
#include <cstdint>

#include "platform/text.h"

namespace moravex::feed {

struct PoolSummary {
  Text blocked;  // "Login refused: ...", "No profile: ...", "No password: ..."
  int live = 0;
  int logging_in = 0;
  int connecting = 0;
  int waiting = 0;
  int32_t shortest_wait_ms = 0;
};

// "Live" while any connection is logged in; otherwise the step the pool is
// nearest to. A live pool with a value past its refresh says "Stale";
// a ticker the control refused says why.
Text TickerStatusText(const PoolSummary& pool, bool stale, const Text& refused);

}  // namespace moravex::feed
