#include "feed/profile.h"

#include <charconv>

namespace moravex::feed {
namespace {

struct NumberSetting {
  const char* key;
  int32_t Profile::*member;
  int32_t minimum;
};

constexpr NumberSetting kNumbers[] = {
    {"port", &Profile::port, 1},
    {"login_timeout_ms", &Profile::login_timeout_ms, 1},
    {"data_timeout_ms", &Profile::data_timeout_ms, 1},
    {"session_timeout_ms", &Profile::session_timeout_ms, 1},
    {"connections", &Profile::connections, 1},
    {"interval_ms", &Profile::interval_ms, 1},
    {"session_interval_ms", &Profile::session_interval_ms, 1},
    {"pace", &Profile::pace, 0},
    {"full_rows", &Profile::full_rows, 1},
    {"backoff_base_ms", &Profile::backoff_base_ms, 1},
    {"backoff_max_ms", &Profile::backoff_max_ms, 1},
    {"jitter_percent", &Profile::jitter_percent, 0},
};

}  // namespace

std::string ApplyProfileSetting(Profile& profile, std::string_view key, std::string_view value) {
  if (key == "server") {
    profile.server = FromUtf8(value);
    return {};
  }
  if (key == "user") {
    profile.user = FromUtf8(value);
    return {};
  }
  for (const NumberSetting& setting : kNumbers) {
    if (key != setting.key) continue;
    int32_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size() || number < setting.minimum) {
      return std::string(key) + " must be a whole number of at least " + std::to_string(setting.minimum);
    }
    if (key == "jitter_percent" && number > 100) return "jitter_percent must be at most 100";
    profile.*setting.member = number;
    return {};
  }
  return "unknown setting " + std::string(key);
}

}  // namespace moravex::feed
