#include "windows/control/control_factory.h"

#include "windows/control/chart_service_control.h"
#include "windows/com/error_info.h"
#include "windows/components/windows_components.h"

namespace moravex::windows {

HRESULT CreateChartServiceClient(IUnknown* outer, REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  moravex::Components components;
  const HRESULT hr = moravex::com::ReturningHresultWithErrorInfo(
      IID__ChartServiceClient, [&] { components = MakeWindowsComponents(ChartServiceClient::kSocketReadSize); });
  if (FAILED(hr)) return hr;
  return moravex::windows::ChartServiceControl::Create(std::move(components), riid, out);
}

}  // namespace moravex::windows
