// What one control instance needs from its platform.
#pragma once
#include <memory>

#include "platform/record_set.h"
#include "platform/socket_component.h"
#include "platform/text_conversion.h"
#include "platform/timer_component.h"

namespace moravex {

class Trace;

struct Components {
  std::unique_ptr<SocketComponent> winsock1;
  std::unique_ptr<TimerComponent> tmr_login_and_connect_timeout;
  std::unique_ptr<TimerComponent> tmr_data_request_timeout;
  std::unique_ptr<TimerComponent> tmr_session_info_timeout;
  std::shared_ptr<RecordSetFactory> record_sets;
  std::shared_ptr<const TextConversion> text;
  // The support trace, null when off; one per process, shared by its controls.
  std::shared_ptr<Trace> trace;
};

}  // namespace moravex
