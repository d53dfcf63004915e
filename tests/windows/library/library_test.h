// Shared by the library's test programs.
#pragma once

#include <string>

// Windows path of the MORAVEX1.ocx under test (first program argument).
const std::wstring& OcxPath();
