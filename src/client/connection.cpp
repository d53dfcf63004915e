// Connecting, disconnecting, the socket's events and the reset every ending runs.
#include "client/chart_service_client.h"
#include "client/method_errors.h"

namespace moravex {

void ChartServiceClient::Connect(const Text& ServerName, int32_t ServerPort) {
  // Only an established connection is refused; an attempt under way is replaced.
  if (components_.winsock1->State() == kSocketConnected) {
    Raise(AlreadyConnected, "Connect", "Already connected");
  }
  MORAVEX_TRACE("connect %s port %d", ToUtf8(ServerName).c_str(), ServerPort);
  RethrowingAsInternalError([&] {
    ResetConnection();
    components_.winsock1->Connect(ServerName, ServerPort);
    state_[Pending::Connect] = true;
    RestartTimer(TimerId::LoginAndConnect);
  });
}

bool ChartServiceClient::Connected() const { return components_.winsock1->State() == kSocketConnected; }

bool ChartServiceClient::LoggedIn() const { return state_.IsLoggedIn; }

void ChartServiceClient::Disconnect() {
  if (components_.winsock1->State() != kSocketConnected) Raise(NotConnected, "Disconnect", kNotConnected);
  MORAVEX_TRACE("disconnect by the host");
  RethrowingAsInternalError([&] { ResetConnection(); });
}

// The connect/login timer keeps running; its next tick finds nothing pending.
void ChartServiceClient::Winsock1_Connect() {
  MORAVEX_TRACE("connected");
  state_.IsConnected = true;
  state_[Pending::Connect] = false;
  Fire(&ChartServiceEvents::Connected);
}

void ChartServiceClient::Winsock1_Close() {
  MORAVEX_TRACE("closed by the server");
  ResetBeforeReporting();
  Fire(&ChartServiceEvents::Disconnected, Text(u"Winsock1_Close"));
}

void ChartServiceClient::Winsock1_Error(const Text& description) {
  const bool was_connected = state_.IsConnected;
  MORAVEX_TRACE("socket error%s: %s", was_connected ? "" : " while connecting", ToUtf8(description).c_str());
  ResetBeforeReporting();
  if (was_connected) {
    Fire(&ChartServiceEvents::Disconnected, Text(u"Winsock1_Error: ") + description);
  } else {
    Fire(&ChartServiceEvents::ConnectionFailed);
  }
}

// Returns the connection to the closed state. Fires nothing: pending requests
// vanish without answer or Timeout, since the timers stop here too.
void ChartServiceClient::ResetConnection() {
  MORAVEX_TRACE("reset");
  components_.winsock1->Close();
  ++connection_generation_;
  assembler_.Reset();
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
