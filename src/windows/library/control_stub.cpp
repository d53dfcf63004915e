// Stands in for the control's creation function while the control library
// is not part of the build: the server registers but creates nothing.
#include "server.h"

HRESULT CreateChartServiceClient(IUnknown* outer, REFIID, void** out) {
    if (out) *out = nullptr;
    return outer ? CLASS_E_NOAGGREGATION : E_NOTIMPL;
}
