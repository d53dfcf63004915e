// Shared by the library's test programs.
#pragma once

#include <cstdlib>
#include <string>

// Windows path of the MORAVEX1.ocx under test, given by the test runner.
inline std::wstring OcxPath() {
    const wchar_t* path = _wgetenv(L"MORAVEX1_OCX");
    return path ? path : L"";
}
