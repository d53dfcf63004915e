// The correct answer to each request, before any fault is applied.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/simulator/faults.h"
#include "tools/simulator/session_clock.h"
#include "tools/simulator/wire.h"

namespace moravex::sim {

inline constexpr std::size_t kCredentialLength = 36;
inline constexpr std::size_t kPriceRecordSize = 24;
inline constexpr int kMaxPriceRecords = kMaxPayloadLength / static_cast<int>(kPriceRecordSize);  // 4166

struct MarketSettings {
  std::string user;
  std::string password;
  std::uint64_t seed = 1;
  SessionClock clock;
};

// The answer payload for a request of `type`; empty for types the server does not serve (ignored requests).
// Login refusals and malformed login answers come from `faults`, so a connection can change them at run time.
std::optional<Bytes> BuildAnswer(const MarketSettings& settings, const FaultConfig& faults, std::uint8_t type,
                                 const Bytes& payload);

}  // namespace moravex::sim
