// Host-facing text is UTF-16, as it crosses the COM boundary as BSTR.
#pragma once
#include <string>

namespace moravex {

using Text = std::u16string;

// UTF-8 <-> UTF-16 for diagnostics, error texts and the native tools.
Text FromUtf8(std::string_view utf8);
std::string ToUtf8(const Text& text);

}  // namespace moravex
