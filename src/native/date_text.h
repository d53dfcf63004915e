// The en-US date and time forms that Automation's text-to-date conversion
// accepts, with real calendar and clock ranges.
#pragma once
#include "platform/text.h"

namespace moravex {

bool IsEnUsDateText(const Text& text);

}  // namespace moravex
