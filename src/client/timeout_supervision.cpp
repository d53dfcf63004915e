// The three time-out properties, and the timers that turn unanswered
// requests into Timeout events.
#include <array>
#include <cstddef>

#include "client/chart_service_client.h"
#include "client/request_table.h"

namespace moravex {
namespace {

// The connection's own steps; every other group comes from the request rows.
constexpr Supervised kLoginAndConnect[] = {
    {Pending::Login, LoginTimeout},
    {Pending::Connect, ConnectTimeout},
};

constexpr size_t GroupSize(TimerId timer) {
  size_t size = 0;
  for (const DataRequest& request : kDataRequests) size += request.timer == timer ? 1 : 0;
  return size;
}

template <TimerId timer>
constexpr auto GroupOf() {
  std::array<Supervised, GroupSize(timer)> group{};
  size_t next = 0;
  for (const DataRequest& request : kDataRequests) {
    if (request.timer == timer) group[next++] = {request.flag, request.timeout};
  }
  return group;
}

constexpr auto kDataRequest = GroupOf<TimerId::DataRequest>();
constexpr auto kSessionInfo = GroupOf<TimerId::SessionInfo>();

}  // namespace

std::span<const Supervised> SupervisionGroup(TimerId timer) {
  switch (timer) {
    case TimerId::LoginAndConnect: return kLoginAndConnect;
    case TimerId::DataRequest: return kDataRequest;
    case TimerId::SessionInfo: return kSessionInfo;
  }
  return {};
}

int32_t ChartServiceClient::LoginAndConnectTimeout() const { return Timer(TimerId::LoginAndConnect).Interval(); }
void ChartServiceClient::SetLoginAndConnectTimeout(int32_t lTimeoutMs) {
  Timer(TimerId::LoginAndConnect).SetInterval(lTimeoutMs);
}
int32_t ChartServiceClient::DataRequestTimeout() const { return Timer(TimerId::DataRequest).Interval(); }
void ChartServiceClient::SetDataRequestTimeout(int32_t lDataRequestTimeoutMs) {
  Timer(TimerId::DataRequest).SetInterval(lDataRequestTimeoutMs);
}
int32_t ChartServiceClient::SessionInfoTimeout() const { return Timer(TimerId::SessionInfo).Interval(); }
void ChartServiceClient::SetSessionInfoTimeout(int32_t lTimeoutMs) {
  Timer(TimerId::SessionInfo).SetInterval(lTimeoutMs);
}

// A restart gives every pending request of the group a fresh full interval.
void ChartServiceClient::RestartTimer(TimerId id) {
  TimerComponent& timer = Timer(id);
  timer.SetEnabled(false);
  timer.SetEnabled(true);
}

// Flags are read live: a Timeout handler may issue requests of the same group,
// and a later flag it sets is reported by this same tick.
void ChartServiceClient::TimerTick(TimerId id) {
  // Answers already received but not yet read (a handler further out is
  // pumping messages) come first: an answer in hand is never timed out.
  if (components_.winsock1->BytesReceived() > 0) Winsock1_DataArrival();
  const auto group = SupervisionGroup(id);
  for (const Supervised& entry : group) {
    if (state_[entry.flag]) {
      state_[entry.flag] = false;
      MORAVEX_TRACE("time-out of pending flag %d", static_cast<int>(entry.flag));
      Fire(&ChartServiceEvents::Timeout, static_cast<int32_t>(entry.timeout));
    }
  }
  for (const Supervised& entry : group) {
    if (state_[entry.flag]) return;
  }
  try {
    Timer(id).SetEnabled(false);
  } catch (const Failure&) {
    // A timer that cannot stop ticks again and finds nothing pending.
  }
}

}  // namespace moravex
