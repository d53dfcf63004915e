#include "windows/control/control_events.h"

#include "MORAVEX1_events.h"
#include "windows/components/ado_record_set.h"
#include "windows/com/bstr.h"
#include "windows/control/chart_service_control.h"

namespace moravex::windows {
namespace {

using namespace moravex::events;  // the DISPIDs, from MORAVEX1.idl

VARIANTARG Long(int32_t value) {
  VARIANTARG arg;
  VariantInit(&arg);
  arg.vt = VT_I4;
  arg.lVal = value;
  return arg;
}

VARIANTARG Single(float value) {
  VARIANTARG arg;
  VariantInit(&arg);
  arg.vt = VT_R4;
  arg.fltVal = value;
  return arg;
}

// The string stays owned by `text`.
VARIANTARG String(const moravex::com::Bstr& text) {
  VARIANTARG arg;
  VariantInit(&arg);
  arg.vt = VT_BSTR;
  arg.bstrVal = text.Get();
  return arg;
}

}  // namespace

void ControlEvents::Fire(DISPID id, const VARIANTARG* args, UINT count) {
  if (control_ == nullptr) return;
  // A handler may release the control's last reference: it stays alive
  // until the event has reached every sink.
  moravex::com::KeepAlive alive(control_->Identity());
  control_->Events().Fire(id, args, count);
}

void ControlEvents::FireText(DISPID id, const moravex::Text& text) {
  const moravex::com::Bstr value(text);
  const VARIANTARG arg = String(value);
  Fire(id, &arg, 1);
}

void ControlEvents::FireCodeAndText(DISPID id, int32_t code, const moravex::Text& text) {
  const moravex::com::Bstr value(text);
  const VARIANTARG args[] = {Long(code), String(value)};
  Fire(id, args, 2);
}

void ControlEvents::FirePrice(DISPID id, float price) {
  const VARIANTARG arg = Single(price);
  Fire(id, &arg, 1);
}

// The host sees the ADO Recordset by reference and may replace or clear it;
// what it leaves there goes back to the core.
void ControlEvents::FireObject(DISPID id, moravex::ObjectRef& object) {
  if (control_ == nullptr) return;
  struct Slot {
    IDispatch* held = nullptr;
    ~Slot() {
      if (held != nullptr) held->Release();
    }
  } slot;
  slot.held = RecordsetDispatch(object.get());
  VARIANTARG arg;
  VariantInit(&arg);
  arg.vt = VT_BYREF | VT_DISPATCH;
  arg.ppdispVal = &slot.held;
  Fire(id, &arg, 1);
  object = HostObjectFromDispatch(slot.held);
}

void ControlEvents::Error(int32_t ErrorID, const moravex::Text& ErrorDescription) {
  FireCodeAndText(kError, ErrorID, ErrorDescription);
}
void ControlEvents::Connected() { Fire(kConnected); }
void ControlEvents::Disconnected(const moravex::Text& strReason) { FireText(kDisconnected, strReason); }
void ControlEvents::ConnectionFailed() { Fire(kConnectionFailed); }
void ControlEvents::LoggedIn() { Fire(kLoggedIn); }
void ControlEvents::LoginFailed(int32_t ErrorID, const moravex::Text& ErrorDescription) {
  FireCodeAndText(kLoginFailed, ErrorID, ErrorDescription);
}
void ControlEvents::GotDebugMessage(const moravex::Text& DebugMessage) { FireText(kGotDebugMessage, DebugMessage); }
void ControlEvents::GotSessionDateTime(const moravex::Text& CurrentSessionDateTime) {
  FireText(kGotSessionDateTime, CurrentSessionDateTime);
}
void ControlEvents::GotSessionDate(const moravex::Text& CurrentSessionDate) {
  FireText(kGotSessionDate, CurrentSessionDate);
}
void ControlEvents::GotSessionTime(const moravex::Text& CurrentSessionTime) {
  FireText(kGotSessionTime, CurrentSessionTime);
}
void ControlEvents::Timeout(int32_t CommandType) {
  const VARIANTARG arg = Long(CommandType);
  Fire(kTimeout, &arg, 1);
}
void ControlEvents::GotFullVantrelData(moravex::ObjectRef& PriceChannelData) {
  FireObject(kGotFullVantrelData, PriceChannelData);
}
void ControlEvents::GotVantrelDataUpdates(moravex::ObjectRef& PriceChannelData) {
  FireObject(kGotVantrelDataUpdates, PriceChannelData);
}
void ControlEvents::GotPreviousSessionsSupportAndResistancePrices(float PreviousSessionsLastAverageVantrelPrice,
                                                                  float PreviousSessionsHighPrice,
                                                                  float PreviousSessionsLowPrice,
                                                                  float PreviousSessionsClosingPrice) {
  const VARIANTARG args[] = {Single(PreviousSessionsLastAverageVantrelPrice), Single(PreviousSessionsHighPrice),
                             Single(PreviousSessionsLowPrice), Single(PreviousSessionsClosingPrice)};
  Fire(kGotPreviousSessionsSupportAndResistancePrices, args, 4);
}
void ControlEvents::GotPreviousSessionsLastAverageVantrelPrice(float PreviousSessionsLastAverageVantrelPrice) {
  FirePrice(kGotPreviousSessionsLastAverageVantrelPrice, PreviousSessionsLastAverageVantrelPrice);
}
void ControlEvents::GotPreviousSessionsHighPrice(float PreviousSessionsHighPrice) {
  FirePrice(kGotPreviousSessionsHighPrice, PreviousSessionsHighPrice);
}
void ControlEvents::GotPreviousSessionsLowPrice(float PreviousSessionsLowPrice) {
  FirePrice(kGotPreviousSessionsLowPrice, PreviousSessionsLowPrice);
}
void ControlEvents::GotPreviousSessionsClosingPrice(float PreviousSessionsClosingPrice) {
  FirePrice(kGotPreviousSessionsClosingPrice, PreviousSessionsClosingPrice);
}

}  // namespace moravex::windows
