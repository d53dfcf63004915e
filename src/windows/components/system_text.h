// Text helpers of the Windows components: UTF-16 as wide strings, and the
// system's own wording of an error code (UTF-8 comes from platform/text.h).
#pragma once
#include "windows/com/windows_headers.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace moravex::windows {

// char16_t and wchar_t are both UTF-16 units on Windows.
inline const wchar_t* Wide(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline Text FromWide(const wchar_t* text, size_t length) {
  return Text(reinterpret_cast<const char16_t*>(text), length);
}

// A Win32 error (GetLastError) as a failure number: HRESULT form, negative
// even when the system left no error code.
inline int32_t Win32FailureNumber(DWORD error) {
  return static_cast<int32_t>(error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error));
}

// FormatMessageW's text for a Win32, Winsock or HRESULT code, trailing line
// break removed; `fallback` when the system has none.
Text SystemMessage(DWORD code, std::string_view fallback);

}  // namespace moravex::windows
