// A user-interface timer on the shared message-only window.
#pragma once
#include <memory>
#include <string>

#include "windows/components/message_window.h"
#include "platform/timer_component.h"

namespace moravex::windows {

// `name` is the source of the failures the timer throws. Safe to destroy from
// inside its own tick handler.
std::unique_ptr<TimerComponent> MakeWindowTimer(std::shared_ptr<MessageWindow> window, std::string name);

}  // namespace moravex::windows
