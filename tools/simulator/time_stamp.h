// Reading the time of day out of the free-form time stamp of an update request.
#pragma once

#include <optional>
#include <string_view>

namespace moravex::sim {

// Seconds since midnight of the LAST "H:MM" or "H:MM:SS" group in the text (one or two hour digits), optionally
// followed by blanks and AM or PM (any case). Accepts "2026-12-08 09:30:00", "12/8/2026 9:30:00 AM", "09:30:00".
// Empty when the text holds no such group or the last one is out of range (hour 24+, minute or second 60+,
// hour 0 or 13+ with AM/PM).
std::optional<int> ParseTimeOfDay(std::string_view stamp);

}  // namespace moravex::sim
