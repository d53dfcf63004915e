// Per-instance state that outlives one call: receive progress, session flags
// and one pending flag per request kind.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

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

enum ReceiveStates : int32_t { AwaitingHeader = 0, AwaitingPayload = 1 };

inline constexpr int32_t kMaxPayloadLength = 100000;
inline constexpr int kHeaderLength = 6;

struct ClientState {
  int32_t ReceiveState = AwaitingHeader;
  std::array<uint8_t, kHeaderLength> HeaderBuffer{};
  int32_t HeaderBytesReceived = 0;
  // At least one byte longer than the payload; the byte after it is always 0.
  std::vector<uint8_t> PayloadBuffer;
  int32_t PayloadLength = 0;
  int32_t PayloadBytesReceived = 0;
  bool IsLoggedIn = false;
  std::array<bool, kPendingKinds> PendingFlags{};
  bool IsConnected = false;

  bool& operator[](Pending kind) { return PendingFlags[static_cast<size_t>(kind)]; }
  bool operator[](Pending kind) const { return PendingFlags[static_cast<size_t>(kind)]; }
};

}  // namespace moravex
