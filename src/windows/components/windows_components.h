// Everything one control instance needs from Windows.
#pragma once
#include <cstddef>

#include "platform/platform.h"

namespace moravex::windows {

// Socket `Winsock1`, the timers tmrLoginAndConnectTimeout,
// tmrDataRequestTimeout and tmrSessionInfoTimeout, the ADO record-set factory
// and the ANSI and date conversions. The socket and the timers share one
// message-only window of the calling thread and keep it alive among
// themselves; call on the control's apartment thread, which must run a
// message loop. The socket reads up to `socket_read_size` bytes at a time.
// Throws Failure when the window cannot be created.
moravex::Components MakeWindowsComponents(size_t socket_read_size);

}  // namespace moravex::windows
