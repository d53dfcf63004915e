#include "control_methods.h"

#include <cstdint>

namespace moravex::shell {
namespace {

using C = ChartServiceClient;
using Args = const std::vector<Token>&;

int32_t L(Args a, size_t i) { return static_cast<int32_t>(a[i].integer); }
const Text& T(Args a, size_t i) { return a[i].text; }
std::string Bool(bool value) { return value ? "true" : "false"; }

constexpr ArgKind S = ArgKind::kText;
constexpr ArgKind N = ArgKind::kLong;

const std::vector<ControlMethod>& Methods() {
  static const std::vector<ControlMethod> methods = {
      {"Connect", {S, N}, [](C& c, Args a) { c.Connect(T(a, 0), L(a, 1)); return "null"; }},
      {"Connected", {}, [](C& c, Args) { return Bool(c.Connected()); }},
      {"LoggedIn", {}, [](C& c, Args) { return Bool(c.LoggedIn()); }},
      {"Disconnect", {}, [](C& c, Args) { c.Disconnect(); return "null"; }},
      {"Login", {S, S, S}, [](C& c, Args a) { c.Login(T(a, 0), T(a, 1), T(a, 2)); return "null"; }},
      {"SendDebugMessage", {S}, [](C& c, Args a) { c.SendDebugMessage(T(a, 0)); return "null"; }},
      {"GetPriceChannelDataUpdates", {S, S},
       [](C& c, Args a) { c.GetPriceChannelDataUpdates(T(a, 0), T(a, 1)); return "null"; }},
      {"GetFullPriceChannelData", {S, N},
       [](C& c, Args a) { c.GetFullPriceChannelData(T(a, 0), L(a, 1)); return "null"; }},
      {"GetSessionTime", {}, [](C& c, Args) { c.GetSessionTime(); return "null"; }},
      {"GetSessionDate", {}, [](C& c, Args) { c.GetSessionDate(); return "null"; }},
      {"GetSessionDateTime", {}, [](C& c, Args) { c.GetSessionDateTime(); return "null"; }},
      {"GetPreviousSessionsLastAverageVantrelPrice", {S},
       [](C& c, Args a) { c.GetPreviousSessionsLastAverageVantrelPrice(T(a, 0)); return "null"; }},
      {"GetPreviousSessionsHighPrice", {S},
       [](C& c, Args a) { c.GetPreviousSessionsHighPrice(T(a, 0)); return "null"; }},
      {"GetPreviousSessionsLowPrice", {S},
       [](C& c, Args a) { c.GetPreviousSessionsLowPrice(T(a, 0)); return "null"; }},
      {"GetPreviousSessionsClosingPrice", {S},
       [](C& c, Args a) { c.GetPreviousSessionsClosingPrice(T(a, 0)); return "null"; }},
      {"GetPreviousSessionsSupportAndResistancePrices", {S},
       [](C& c, Args a) { c.GetPreviousSessionsSupportAndResistancePrices(T(a, 0)); return "null"; }},
  };
  return methods;
}

const std::vector<ControlMethod>& Properties() {
  static const std::vector<ControlMethod> properties = {
      {"get LoginAndConnectTimeout", {}, [](C& c, Args) { return std::to_string(c.LoginAndConnectTimeout()); }},
      {"set LoginAndConnectTimeout", {N}, [](C& c, Args a) { c.SetLoginAndConnectTimeout(L(a, 0)); return "null"; }},
      {"get DataRequestTimeout", {}, [](C& c, Args) { return std::to_string(c.DataRequestTimeout()); }},
      {"set DataRequestTimeout", {N}, [](C& c, Args a) { c.SetDataRequestTimeout(L(a, 0)); return "null"; }},
      {"get SessionInfoTimeout", {}, [](C& c, Args) { return std::to_string(c.SessionInfoTimeout()); }},
      {"set SessionInfoTimeout", {N}, [](C& c, Args a) { c.SetSessionInfoTimeout(L(a, 0)); return "null"; }},
  };
  return properties;
}

const ControlMethod* Find(const std::vector<ControlMethod>& table, const std::string& name) {
  for (const ControlMethod& m : table) {
    if (name == m.name) return &m;
  }
  return nullptr;
}

}  // namespace

const ControlMethod* FindMethod(const std::string& name) { return Find(Methods(), name); }

const ControlMethod* FindProperty(const std::string& verb, const std::string& name) {
  return Find(Properties(), verb + " " + name);
}

}  // namespace moravex::shell
