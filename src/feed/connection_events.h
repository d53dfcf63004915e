// The sink of one connection's control: each of the 18 events becomes a call
// on the profile's feed, through a route that keeps the engine alive for the
// whole event and knows whether the profile still exists.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "feed/function_ref.h"
#include "feed/profile_feed.h"
#include "platform/chart_service_events.h"

namespace moravex::feed {

class ChartServiceEventsRoute {
 public:
  virtual ~ChartServiceEventsRoute() = default;
  virtual void Deliver(FunctionRef<void(ProfileFeed&, int64_t now)> event) = 0;
};

std::shared_ptr<ChartServiceEvents> MakeConnectionEvents(std::shared_ptr<ChartServiceEventsRoute> route, int index,
                                                         uint64_t generation);

}  // namespace moravex::feed
