// The RTD server's class, served by MORAVEX1Rtd.dll.
#include "windows/com/class_factory.h"
#include "windows/library/server.h"
#include "windows/rtd/rtd_server.h"

namespace moravex::windows {

namespace {

com::StaticClassFactory factory(&rtd::RtdServer::Create);

}  // namespace

IClassFactory* ServedClassFactory(REFCLSID clsid) { return IsEqualCLSID(clsid, CLSID_RtdServer) ? &factory : nullptr; }

}  // namespace moravex::windows
