// The control's class, served by MORAVEX1.ocx.
#include "windows/com/class_factory.h"
#include "windows/control/control_factory.h"
#include "windows/library/server.h"

#include "MORAVEX1_h.h"

namespace moravex::windows {

namespace {

com::StaticClassFactory factory(&CreateChartServiceClient);

}  // namespace

IClassFactory* ServedClassFactory(REFCLSID clsid) {
  return IsEqualCLSID(clsid, CLSID_ChartServiceClient) ? &factory : nullptr;
}

}  // namespace moravex::windows
