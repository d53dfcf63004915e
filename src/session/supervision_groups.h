// Which pending flags each timer watches, in the order a tick examines them.
#pragma once
#include <span>

#include "control/error_ids.h"
#include "session/client_state.h"

namespace moravex {

enum class TimerId { LoginAndConnect, DataRequest, SessionInfo };

struct Supervised {
  Pending flag;
  TimeoutTypes timeout;
};

std::span<const Supervised> SupervisionGroup(TimerId timer);

}  // namespace moravex
