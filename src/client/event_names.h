// Names and short arguments of fired events, for the trace only.
#pragma once
#include <string>
#include <type_traits>

#include "platform/chart_service_events.h"
#include "platform/text.h"

namespace moravex {

template <class Event>
const char* EventName(Event event) {
  using E = ChartServiceEvents;
#define MORAVEX_EVENT_NAME(name)                             \
  if constexpr (std::is_same_v<Event, decltype(&E::name)>) { \
    if (event == &E::name) return #name;                     \
  }
  MORAVEX_EVENT_NAME(Error)
  MORAVEX_EVENT_NAME(Connected)
  MORAVEX_EVENT_NAME(Disconnected)
  MORAVEX_EVENT_NAME(ConnectionFailed)
  MORAVEX_EVENT_NAME(LoggedIn)
  MORAVEX_EVENT_NAME(LoginFailed)
  MORAVEX_EVENT_NAME(GotDebugMessage)
  MORAVEX_EVENT_NAME(GotSessionDateTime)
  MORAVEX_EVENT_NAME(GotSessionDate)
  MORAVEX_EVENT_NAME(GotSessionTime)
  MORAVEX_EVENT_NAME(Timeout)
  MORAVEX_EVENT_NAME(GotFullVantrelData)
  MORAVEX_EVENT_NAME(GotVantrelDataUpdates)
  MORAVEX_EVENT_NAME(GotPreviousSessionsSupportAndResistancePrices)
  MORAVEX_EVENT_NAME(GotPreviousSessionsLastAverageVantrelPrice)
  MORAVEX_EVENT_NAME(GotPreviousSessionsHighPrice)
  MORAVEX_EVENT_NAME(GotPreviousSessionsLowPrice)
  MORAVEX_EVENT_NAME(GotPreviousSessionsClosingPrice)
#undef MORAVEX_EVENT_NAME
  return "event";
}

// Texts are cut short and shown as their single-byte-safe characters.
inline void AppendTraceArgument(std::string& out, const Text& text) {
  out += '"';
  for (size_t i = 0; i < text.size() && i < 40; ++i) out += text[i] < 0x80 && text[i] >= 0x20 ? char(text[i]) : '?';
  out += text.size() > 40 ? "...\"" : "\"";
}
inline void AppendTraceArgument(std::string& out, int32_t value) { out += std::to_string(value); }
inline void AppendTraceArgument(std::string& out, float value) { out += std::to_string(value); }
inline void AppendTraceArgument(std::string& out, const ObjectRef& rows) { out += rows ? "rows" : "null"; }

template <class... Args>
std::string TraceArguments(const Args&... args) {
  std::string out;
  ((out += out.empty() ? "" : ", ", AppendTraceArgument(out, args)), ...);
  return out;
}

}  // namespace moravex
