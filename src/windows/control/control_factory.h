// Creates the ChartServiceClient control. Aggregation is not supported.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <unknwn.h>

namespace moravex::windows {

HRESULT CreateChartServiceClient(IUnknown* outer, REFIID riid, void** out);

}  // namespace moravex::windows
