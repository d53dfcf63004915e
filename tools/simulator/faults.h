// Fault injection: how an answer is distorted or delivered badly, chosen per message type.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tools/simulator/wire.h"

namespace moravex::sim {

using TypeSet = std::bitset<256>;

struct LoginRefusal {
  std::int32_t code = 0;
  std::string text;
};

struct DebugPush {
  std::string text;
  int interval_ms = 0;
};

struct FaultConfig {
  std::array<int, 256> delay_ms{};             // 0: answer at once
  TypeSet never;                               // answer nothing
  std::array<std::size_t, 256> chunk_bytes{};  // 0: one write
  TypeSet close_mid;                           // header + half the payload, then close
  TypeSet bogus_length;                        // header announcing bogus_length_value[type] alone, then silence
  std::array<std::int32_t, 256> bogus_length_value{};
  TypeSet empty;                              // empty payload
  std::array<int, 256> short_bytes{};         // keep only this many payload bytes; -1: keep all
  std::array<int, 256> tail_bytes{};          // append this many zero bytes
  std::optional<LoginRefusal> login_refusal;  // refuse every login with this code and text
  bool login_malformed = false;               // answer logins with a 2-byte payload
  std::optional<DebugPush> push_debug;        // unsolicited debug text at a fixed interval

  FaultConfig() { short_bytes.fill(-1); }
};

// What happens on the connection once a planned frame has been written.
enum class AfterSend { kNothing, kClose, kMute };

struct DeliveryPlan {
  Bytes bytes;  // what goes on the wire, header included
  int delay_ms = 0;
  std::size_t chunk_bytes = 0;
  AfterSend after = AfterSend::kNothing;
};

// Turns a correct answer into what the configured faults make of it; empty when the answer is never sent.
// Order: never, then the payload (empty, short, tail), then the frame (bogus length, close midway), then delivery.
std::optional<DeliveryPlan> PlanDelivery(const FaultConfig& faults, std::uint8_t type, Bytes payload);

// "all" or a comma list of type numbers 0..255.
std::optional<TypeSet> ParseTypeSet(std::string_view text);

// Applies one fault switch by its name without dashes ("delay", "never", "chunk", "close-mid", "bogus-length",
// "empty", "short", "tail", "push-debug", "login-refuse", "login-malformed"). `value` is empty for the switch that
// takes none. Returns an error text, or empty on success. Unknown names are reported as errors.
std::string ApplyFaultOption(FaultConfig& faults, std::string_view name, std::string_view value);

bool IsFaultOption(std::string_view name);
bool FaultOptionTakesValue(std::string_view name);

}  // namespace moravex::sim
