#include "control/chart_service_client.h"

namespace moravex {

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
  const auto group = SupervisionGroup(id);
  for (const Supervised& entry : group) {
    if (state_[entry.flag]) {
      state_[entry.flag] = false;
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
