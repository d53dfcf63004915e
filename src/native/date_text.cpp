#include "native/date_text.h"

namespace moravex {

// Placeholder until the full parser lands: ISO date with optional time.
bool IsEnUsDateText(const Text& text) { return !text.empty(); }

}  // namespace moravex
