#include "control/chart_service_client.h"

namespace moravex {

// Returns the connection to the closed state. Fires nothing: pending requests
// vanish without answer or Timeout, since the timers stop here too.
void ChartServiceClient::ResetConnection() {
  components_.winsock1->Close();
  ++connection_generation_;
  state_.ReceiveState = AwaitingHeader;
  state_.HeaderBytesReceived = 0;
  state_.PayloadLength = 0;
  state_.PayloadBytesReceived = 0;
  state_.IsLoggedIn = false;
  for (bool& flag : state_.PendingFlags) flag = false;
  Timer(TimerId::DataRequest).SetEnabled(false);
  Timer(TimerId::LoginAndConnect).SetEnabled(false);
  Timer(TimerId::SessionInfo).SetEnabled(false);
  state_.IsConnected = false;
}

void ChartServiceClient::ResetBeforeReporting() {
  try {
    ResetConnection();
  } catch (const Failure&) {
    // The connection is over either way; the caller still fires its event.
  }
}

}  // namespace moravex
