// The simulator's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/simulator/faults.h"
#include "tools/simulator/session_clock.h"

namespace moravex::sim {

inline constexpr std::uint16_t kDefaultPort = 7401;
// Demo credentials, exactly 36 characters each as the login requires.
inline constexpr std::string_view kDemoUser = "demo-user-00000000000000000000000000";
inline constexpr std::string_view kDemoPassword = "demo-password-0000000000000000000000";
inline constexpr std::uint64_t kDefaultSeed = 1;

struct SimOptions {
  std::uint16_t port = kDefaultPort;
  std::string user{kDemoUser};
  std::string password{kDemoPassword};
  std::uint64_t seed = kDefaultSeed;
  std::optional<CivilTime> clock;
  bool verbose = false;
  FaultConfig faults;
};

struct CommandLine {
  SimOptions options;
  bool show_help = false;
  std::string error;  // non-empty: refuse to start
};

// Accepts "--name value" and "--name=value". Stops at --help.
CommandLine ParseCommandLine(const std::vector<std::string_view>& args);

std::string HelpText();

}  // namespace moravex::sim
