#include "control_factory.h"

#include "chart_service_control.h"
#include "error_info.h"
#include "components/windows_components.h"

HRESULT CreateChartServiceClient(IUnknown* outer, REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  moravex::Components components;
  const HRESULT hr =
      moravex_com::ReturningHresultWithErrorInfo(IID__ChartServiceClient, [&] { components = MakeWindowsComponents(); });
  if (FAILED(hr)) return hr;
  return moravex_control::ChartServiceControl::Create(std::move(components), riid, out);
}
