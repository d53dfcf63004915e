#include "tools/shell/control_methods.h"

namespace moravex::shell {
namespace {

constexpr ArgKind S = ArgKind::kText;
constexpr ArgKind N = ArgKind::kLong;

ControlMethod Method(const char* name, std::vector<ArgKind> args) {
  return {name, name, CallKind::kMethod, std::move(args)};
}

const std::vector<ControlMethod>& Methods() {
  static const std::vector<ControlMethod> methods = {
      Method("Connect", {S, N}),
      Method("Connected", {}),
      Method("LoggedIn", {}),
      Method("Disconnect", {}),
      Method("Login", {S, S, S}),
      Method("SendDebugMessage", {S}),
      Method("GetPriceChannelDataUpdates", {S, S}),
      Method("GetFullPriceChannelData", {S, N}),
      Method("GetSessionTime", {}),
      Method("GetSessionDate", {}),
      Method("GetSessionDateTime", {}),
      Method("GetPreviousSessionsLastAverageVantrelPrice", {S}),
      Method("GetPreviousSessionsHighPrice", {S}),
      Method("GetPreviousSessionsLowPrice", {S}),
      Method("GetPreviousSessionsClosingPrice", {S}),
      Method("GetPreviousSessionsSupportAndResistancePrices", {S}),
  };
  return methods;
}

const std::vector<ControlMethod>& Properties() {
  static const std::vector<ControlMethod> properties = [] {
    std::vector<ControlMethod> all;
    for (const char* name : {"LoginAndConnectTimeout", "DataRequestTimeout", "SessionInfoTimeout"}) {
      all.push_back({std::string("get ") + name, name, CallKind::kPropertyGet, {}});
      all.push_back({std::string("set ") + name, name, CallKind::kPropertyPut, {N}});
    }
    return all;
  }();
  return properties;
}

const ControlMethod* Find(const std::vector<ControlMethod>& table, const std::string& label) {
  for (const ControlMethod& m : table) {
    if (label == m.label) return &m;
  }
  return nullptr;
}

}  // namespace

const ControlMethod* FindMethod(const std::string& name) { return Find(Methods(), name); }

const ControlMethod* FindProperty(const std::string& verb, const std::string& name) {
  return Find(Properties(), verb + " " + name);
}

}  // namespace moravex::shell
