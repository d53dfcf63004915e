// Stands in for the control's creation function while the control library
// is not part of the build: the server registers but creates nothing.
#include "server.h"

HRESULT CreateChartServiceClient(IUnknown*, REFIID, void** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}
