// Every notification from the control's socket and timers enters the core
// through here, holding the control (and the module) for its whole run: a host
// that releases the control inside an event does so only once the core has
// finished with the notification.
#pragma once
#include "windows/com/windows_headers.h"

#include <memory>

#include "platform/platform.h"

namespace moravex::windows {

// The object to hold; the control clears it when it goes away.
struct NotificationOwner {
  IUnknown* control = nullptr;
};

// Wraps the socket and the timers of `components`.
moravex::Components GuardNotifications(moravex::Components components, std::shared_ptr<NotificationOwner> owner);

}  // namespace moravex::windows
