#include "windows/com/class_factory.h"
#include "windows/control/control_factory.h"
#include "windows/library/server.h"

namespace moravex::windows {

namespace {

com::StaticClassFactory factory(&CreateChartServiceClient);

}  // namespace

IClassFactory* ChartServiceClientFactory() { return &factory; }

}  // namespace moravex::windows
