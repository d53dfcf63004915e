// Creates the ChartServiceClient control. Aggregation is not supported.
#pragma once
#include "windows/com/windows_headers.h"

namespace moravex::windows {

HRESULT CreateChartServiceClient(IUnknown* outer, REFIID riid, void** out);

}  // namespace moravex::windows
