// Records every event of the control as one readable line, e.g. `Timeout(6)`,
// `Disconnected("Winsock1_Close")`, `GotFullVantrelData(rows=2)`, and lets a
// test act from inside any event, as a host's handler would.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "platform/chart_service_events.h"

namespace moravex {

class RecordingEvents final : public ChartServiceEvents {
 public:
  // Runs after the line is recorded, for every event.
  std::function<void(const std::string& line)> on_event;
  // Runs for both price-channel events before on_event; may replace the argument.
  std::function<void(ObjectRef& rows)> on_rows;

  const std::vector<std::string>& Lines() const { return lines_; }
  // The lines so far, forgetting them.
  std::vector<std::string> Take();
  // The record-set arguments as they were handed in, in order.
  const std::vector<ObjectRef>& Rows() const { return rows_; }

  void Error(int32_t ErrorID, const Text& ErrorDescription) override;
  void Connected() override;
  void Disconnected(const Text& strReason) override;
  void ConnectionFailed() override;
  void LoggedIn() override;
  void LoginFailed(int32_t ErrorID, const Text& ErrorDescription) override;
  void GotDebugMessage(const Text& DebugMessage) override;
  void GotSessionDateTime(const Text& CurrentSessionDateTime) override;
  void GotSessionDate(const Text& CurrentSessionDate) override;
  void GotSessionTime(const Text& CurrentSessionTime) override;
  void Timeout(int32_t CommandType) override;
  void GotFullVantrelData(ObjectRef& PriceChannelData) override;
  void GotVantrelDataUpdates(ObjectRef& PriceChannelData) override;
  void GotPreviousSessionsSupportAndResistancePrices(float PreviousSessionsLastAverageVantrelPrice,
                                                     float PreviousSessionsHighPrice, float PreviousSessionsLowPrice,
                                                     float PreviousSessionsClosingPrice) override;
  void GotPreviousSessionsLastAverageVantrelPrice(float PreviousSessionsLastAverageVantrelPrice) override;
  void GotPreviousSessionsHighPrice(float PreviousSessionsHighPrice) override;
  void GotPreviousSessionsLowPrice(float PreviousSessionsLowPrice) override;
  void GotPreviousSessionsClosingPrice(float PreviousSessionsClosingPrice) override;

 private:
  // A text argument must stay as it was handed in until its handler returns,
  // whatever the handler does inside it.
  void Record(std::string line, const Text* argument = nullptr);
  void RecordRows(const char* event, ObjectRef& rows);

  std::vector<std::string> lines_;
  std::vector<ObjectRef> rows_;
};

// Quoted, with control characters as \xNN, so zero bytes stay visible.
std::string Quoted(const Text& text);
// The ErrorIDs name, or the number.
std::string ErrorName(int32_t id);

}  // namespace moravex
