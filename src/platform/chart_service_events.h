// The control's 18 events, with the parameter names the event interface declares.
#pragma once
#include <cstdint>
#include <memory>

#include "platform/record_set.h"
#include "platform/text.h"

namespace moravex {

// The by-reference object argument of the price-channel events. The host may
// replace or clear it inside its handler.
using ObjectRef = std::shared_ptr<HostObject>;

// The host's event sink. The control holds it by shared_ptr and keeps it alive
// for the whole of each event, so a handler may drop the control, detach or
// release the sink itself. An exception that escapes a handler is swallowed at
// the event (as a failing COM sink's HRESULT is ignored): the event counts as
// delivered and the control carries on as if the handler had returned.
class ChartServiceEvents {
 public:
  virtual ~ChartServiceEvents() = default;
  virtual void Error(int32_t ErrorID, const Text& ErrorDescription) = 0;
  virtual void Connected() = 0;
  virtual void Disconnected(const Text& strReason) = 0;
  virtual void ConnectionFailed() = 0;
  virtual void LoggedIn() = 0;
  virtual void LoginFailed(int32_t ErrorID, const Text& ErrorDescription) = 0;
  virtual void GotDebugMessage(const Text& DebugMessage) = 0;
  virtual void GotSessionDateTime(const Text& CurrentSessionDateTime) = 0;
  virtual void GotSessionDate(const Text& CurrentSessionDate) = 0;
  virtual void GotSessionTime(const Text& CurrentSessionTime) = 0;
  virtual void Timeout(int32_t CommandType) = 0;
  virtual void GotFullVantrelData(ObjectRef& PriceChannelData) = 0;
  virtual void GotVantrelDataUpdates(ObjectRef& PriceChannelData) = 0;
  virtual void GotPreviousSessionsSupportAndResistancePrices(float PreviousSessionsLastAverageVantrelPrice,
                                                             float PreviousSessionsHighPrice,
                                                             float PreviousSessionsLowPrice,
                                                             float PreviousSessionsClosingPrice) = 0;
  virtual void GotPreviousSessionsLastAverageVantrelPrice(float PreviousSessionsLastAverageVantrelPrice) = 0;
  virtual void GotPreviousSessionsHighPrice(float PreviousSessionsHighPrice) = 0;
  virtual void GotPreviousSessionsLowPrice(float PreviousSessionsLowPrice) = 0;
  virtual void GotPreviousSessionsClosingPrice(float PreviousSessionsClosingPrice) = 0;
};

}  // namespace moravex
