// A profile: where a feed connects, as whom, and how it paces and recovers.
// The password is not part of it; a credential source gives it.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace moravex::feed {

struct Profile {
  Text server = u"127.0.0.1";
  int32_t port = 7401;
  Text user;
  // The control's time-outs.
  int32_t login_timeout_ms = 5000;
  int32_t data_timeout_ms = 5000;
  int32_t session_timeout_ms = 5000;
  // Pool and polling.
  int32_t connections = 4;
  int32_t interval_ms = 1000;          // price-channel updates
  int32_t session_interval_ms = 1000;  // session texts
  int32_t pace = 50;                   // requests per second per connection; 0: no limit
  int32_t full_rows = 1000;            // MaxChartPixels of the first full request
  // Recovery: base, doubling up to max, each delay moved by up to +-jitter percent.
  int32_t backoff_base_ms = 1000;
  int32_t backoff_max_ms = 30000;
  int32_t jitter_percent = 20;
};

// Sets one setting by its name as profile files spell it; returns an error
// text, or empty on success.
std::string ApplyProfileSetting(Profile& profile, std::string_view key, std::string_view value);

}  // namespace moravex::feed
