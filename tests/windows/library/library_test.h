// Shared by the library's test programs.
#pragma once

#include <cstdlib>
#include <string>

// Windows path of the MORAVEX1.ocx under test, given by the test runner.
inline std::wstring OcxPath() {
  const wchar_t* path = _wgetenv(L"MORAVEX1_OCX");
  return path ? path : L"";
}

// Bitness of that file, which a 64-bit reader of a 32-bit file differs from.
inline int OcxBits() {
  const wchar_t* bits = _wgetenv(L"MORAVEX1_OCX_BITS");
  return bits ? _wtoi(bits) : static_cast<int>(sizeof(void*) * 8);
}
