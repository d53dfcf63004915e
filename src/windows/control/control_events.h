// The core's event sink: fires each event through the control's connection
// point by its DISPID, with the declared argument types.
#pragma once
#include "windows/com/windows_headers.h"

#include <memory>

#include "platform/chart_service_events.h"

namespace moravex::windows {

class ChartServiceControl;

// The core holds this sink and keeps it through each event.
class ControlEvents final : public moravex::ChartServiceEvents {
 public:
  explicit ControlEvents(ChartServiceControl* control) : control_(control) {}
  ~ControlEvents() override = default;
  ControlEvents(const ControlEvents&) = delete;
  ControlEvents& operator=(const ControlEvents&) = delete;

  // The control is going away: nothing more is fired.
  void Detach() { control_ = nullptr; }

  void Error(int32_t ErrorID, const moravex::Text& ErrorDescription) override;
  void Connected() override;
  void Disconnected(const moravex::Text& strReason) override;
  void ConnectionFailed() override;
  void LoggedIn() override;
  void LoginFailed(int32_t ErrorID, const moravex::Text& ErrorDescription) override;
  void GotDebugMessage(const moravex::Text& DebugMessage) override;
  void GotSessionDateTime(const moravex::Text& CurrentSessionDateTime) override;
  void GotSessionDate(const moravex::Text& CurrentSessionDate) override;
  void GotSessionTime(const moravex::Text& CurrentSessionTime) override;
  void Timeout(int32_t CommandType) override;
  void GotFullVantrelData(moravex::ObjectRef& PriceChannelData) override;
  void GotVantrelDataUpdates(moravex::ObjectRef& PriceChannelData) override;
  void GotPreviousSessionsSupportAndResistancePrices(float PreviousSessionsLastAverageVantrelPrice,
                                                     float PreviousSessionsHighPrice, float PreviousSessionsLowPrice,
                                                     float PreviousSessionsClosingPrice) override;
  void GotPreviousSessionsLastAverageVantrelPrice(float PreviousSessionsLastAverageVantrelPrice) override;
  void GotPreviousSessionsHighPrice(float PreviousSessionsHighPrice) override;
  void GotPreviousSessionsLowPrice(float PreviousSessionsLowPrice) override;
  void GotPreviousSessionsClosingPrice(float PreviousSessionsClosingPrice) override;

 private:
  void Fire(DISPID id, const VARIANTARG* args = nullptr, UINT count = 0);
  void FireText(DISPID id, const moravex::Text& text);
  void FireCodeAndText(DISPID id, int32_t code, const moravex::Text& text);
  void FirePrice(DISPID id, float price);
  void FireObject(DISPID id, moravex::ObjectRef& object);

  ChartServiceControl* control_;
};

}  // namespace moravex::windows
