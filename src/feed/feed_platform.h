// What the engine needs from its platform: controls' components, its own
// timer, a clock, and the sources of profiles and passwords. Nothing here is
// POSIX or Windows; each platform fills it in (posix_sources.h for POSIX).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "feed/feed_sources.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/timer_component.h"

namespace moravex::feed {

class FeedClock {
 public:
  virtual ~FeedClock() = default;
  // Milliseconds of a clock that never goes back: scheduling, pacing, staleness.
  virtual int64_t SteadyMs() const = 0;
  // The local time as "YYYY-MM-DD HH:MM:SS", the value of Updated.
  virtual Text WallText() const = 0;
};

struct FeedPlatform {
  // One control's components, fresh for every connection the engine opens.
  std::function<Components()> make_components;
  // A timer of the same thread, named for the failures it throws.
  std::function<std::unique_ptr<TimerComponent>(const std::string& name)> make_timer;
  std::shared_ptr<const FeedClock> clock;
  std::shared_ptr<ProfileSource> profiles;
  std::shared_ptr<CredentialSource> credentials;
  // Seeds the back-off jitter.
  uint64_t seed = 0;
};

struct FeedOptions {
  // The engine's own timer: how often it looks at what is due.
  int32_t tick_ms = 100;
  // How often a profile that cannot log in (refused, no profile, no password)
  // asks its sources again.
  int32_t recheck_ms = 2000;
};

}  // namespace moravex::feed
