// Per-instance session state that outlives one call: the session flags and one
// pending flag per request kind. Receive progress belongs to the frame
// assembler.
#pragma once
#include <array>
#include <cstddef>

namespace moravex {

// In declaration order; ResetConnection clears them in this order.
enum class Pending : int {
  Connect,
  Login,
  FullDataRequest,
  DataUpdates,
  SessionTime,
  SessionDate,
  SessionDateTime,
  PreviousSessionsLastAverageVantrelPrice,
  PreviousSessionsHighPrice,
  PreviousSessionsLowPrice,
  PreviousSessionsClosingPrice,
  PreviousSessionsSupportAndResistancePrices,
};
inline constexpr int kPendingKinds = 12;

struct ClientState {
  bool IsLoggedIn = false;
  std::array<bool, kPendingKinds> PendingFlags{};
  bool IsConnected = false;

  bool& operator[](Pending kind) { return PendingFlags[static_cast<size_t>(kind)]; }
  bool operator[](Pending kind) const { return PendingFlags[static_cast<size_t>(kind)]; }
};

}  // namespace moravex
