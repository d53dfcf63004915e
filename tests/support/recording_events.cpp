#include "tests/support/recording_events.h"

#include <gtest/gtest.h>

#include <sstream>

#include "client/error_ids.h"

namespace moravex {
namespace {

std::string Number(float value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

}  // namespace

std::string Quoted(const Text& text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (char16_t c : text) {
    if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out.push_back(kDigits[c >> 4]);
      out.push_back(kDigits[c & 0xF]);
    } else {
      out += ToUtf8(Text(1, c));
    }
  }
  return out + "\"";
}

std::string ErrorName(int32_t id) {
  switch (id) {
    case NotConnected: return "NotConnected";
    case InvalidUidAndPwCombination: return "InvalidUidAndPwCombination";
    case InvalidTicker: return "InvalidTicker";
    case InvalidDate: return "InvalidDate";
    case InternalError: return "InternalError";
    case NotLoggedIn: return "NotLoggedIn";
    case AlreadyConnected: return "AlreadyConnected";
    case AlreadyLoggedIn: return "AlreadyLoggedIn";
    case RequestAlreadyPending: return "RequestAlreadyPending";
    default: return std::to_string(id);
  }
}

std::vector<std::string> RecordingEvents::Take() {
  std::vector<std::string> taken;
  taken.swap(lines_);
  return taken;
}

void RecordingEvents::Record(std::string line, const Text* argument) {
  lines_.push_back(line);
  const Text handed_in = argument != nullptr ? *argument : Text();
  if (on_event) on_event(line);
  if (argument != nullptr && *argument != handed_in) {
    ADD_FAILURE() << "the text argument of " << line << " became " << Quoted(*argument) << " in its handler";
  }
}

void RecordingEvents::RecordRows(const char* event, ObjectRef& rows) {
  rows_.push_back(rows);
  std::string count = "null";
  if (auto* record_set = dynamic_cast<RecordSet*>(rows.get())) {
    count = std::to_string(record_set->RecordCount());
  } else if (rows) {
    count = "foreign";
  }
  const std::string line = std::string(event) + "(rows=" + count + ")";
  lines_.push_back(line);
  if (on_rows) on_rows(rows);
  if (on_event) on_event(line);
}

void RecordingEvents::Error(int32_t ErrorID, const Text& ErrorDescription) {
  Record("Error(" + ErrorName(ErrorID) + ", " + Quoted(ErrorDescription) + ")", &ErrorDescription);
}
void RecordingEvents::Connected() { Record("Connected()"); }
void RecordingEvents::Disconnected(const Text& strReason) {
  Record("Disconnected(" + Quoted(strReason) + ")", &strReason);
}
void RecordingEvents::ConnectionFailed() { Record("ConnectionFailed()"); }
void RecordingEvents::LoggedIn() { Record("LoggedIn()"); }
void RecordingEvents::LoginFailed(int32_t ErrorID, const Text& ErrorDescription) {
  Record("LoginFailed(" + std::to_string(ErrorID) + ", " + Quoted(ErrorDescription) + ")", &ErrorDescription);
}
void RecordingEvents::GotDebugMessage(const Text& DebugMessage) {
  Record("GotDebugMessage(" + Quoted(DebugMessage) + ")", &DebugMessage);
}
void RecordingEvents::GotSessionDateTime(const Text& CurrentSessionDateTime) {
  Record("GotSessionDateTime(" + Quoted(CurrentSessionDateTime) + ")", &CurrentSessionDateTime);
}
void RecordingEvents::GotSessionDate(const Text& CurrentSessionDate) {
  Record("GotSessionDate(" + Quoted(CurrentSessionDate) + ")", &CurrentSessionDate);
}
void RecordingEvents::GotSessionTime(const Text& CurrentSessionTime) {
  Record("GotSessionTime(" + Quoted(CurrentSessionTime) + ")", &CurrentSessionTime);
}
void RecordingEvents::Timeout(int32_t CommandType) { Record("Timeout(" + std::to_string(CommandType) + ")"); }
void RecordingEvents::GotFullVantrelData(ObjectRef& PriceChannelData) {
  RecordRows("GotFullVantrelData", PriceChannelData);
}
void RecordingEvents::GotVantrelDataUpdates(ObjectRef& PriceChannelData) {
  RecordRows("GotVantrelDataUpdates", PriceChannelData);
}
void RecordingEvents::GotPreviousSessionsSupportAndResistancePrices(float PreviousSessionsLastAverageVantrelPrice,
                                                                    float PreviousSessionsHighPrice,
                                                                    float PreviousSessionsLowPrice,
                                                                    float PreviousSessionsClosingPrice) {
  Record("GotPreviousSessionsSupportAndResistancePrices(" + Number(PreviousSessionsLastAverageVantrelPrice) + ", " +
         Number(PreviousSessionsHighPrice) + ", " + Number(PreviousSessionsLowPrice) + ", " +
         Number(PreviousSessionsClosingPrice) + ")");
}
void RecordingEvents::GotPreviousSessionsLastAverageVantrelPrice(float PreviousSessionsLastAverageVantrelPrice) {
  Record("GotPreviousSessionsLastAverageVantrelPrice(" + Number(PreviousSessionsLastAverageVantrelPrice) + ")");
}
void RecordingEvents::GotPreviousSessionsHighPrice(float PreviousSessionsHighPrice) {
  Record("GotPreviousSessionsHighPrice(" + Number(PreviousSessionsHighPrice) + ")");
}
void RecordingEvents::GotPreviousSessionsLowPrice(float PreviousSessionsLowPrice) {
  Record("GotPreviousSessionsLowPrice(" + Number(PreviousSessionsLowPrice) + ")");
}
void RecordingEvents::GotPreviousSessionsClosingPrice(float PreviousSessionsClosingPrice) {
  Record("GotPreviousSessionsClosingPrice(" + Number(PreviousSessionsClosingPrice) + ")");
}

}  // namespace moravex
