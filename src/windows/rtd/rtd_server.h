// MORAVEX1.Rtd: the spreadsheet's real-time-data server on the feed engine.
//
// Everything runs on the thread that called ServerStart (the sheet's
// apartment thread, which runs a message loop): the engine's connections and
// timers, and UpdateNotify, which a window timer calls at most once per
// throttle interval after the engine says a change waits. RefreshData then
// takes the changes; only then may the engine say so again.
#pragma once
#include "windows/com/windows_headers.h"

#include <memory>
#include <unordered_map>

#include "feed/feed_engine.h"
#include "platform/timer_component.h"
#include "windows/com/com_object.h"
#include "windows/com/com_ptr.h"
#include "windows/com/dispatch.h"

#include "MORAVEX1Rtd_h.h"

namespace moravex::rtd {

// HKCU\Software\MORAVEX1\Rtd, value throttle_ms: the shortest time between
// two UpdateNotify calls.
inline constexpr const wchar_t* kRtdSettingsKey = L"Software\\MORAVEX1\\Rtd";
inline constexpr int32_t kDefaultThrottleMs = 200;

class RtdServer final : public com::ComObject<RtdServer, IRtdServer> {
 public:
  static HRESULT Create(IUnknown* outer, REFIID riid, void** out);
  void* QueryOther(REFIID riid);

  IFACEMETHODIMP GetTypeInfoCount(UINT* count) override;
  IFACEMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override;
  IFACEMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  IFACEMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* bad_argument) override;

  IFACEMETHODIMP ServerStart(IRTDUpdateEvent* callback, LONG* result) override;
  IFACEMETHODIMP ConnectData(LONG topic_id, SAFEARRAY** strings, VARIANT_BOOL* get_new_values, VARIANT* value) override;
  IFACEMETHODIMP RefreshData(LONG* topic_count, SAFEARRAY** values) override;
  IFACEMETHODIMP DisconnectData(LONG topic_id) override;
  IFACEMETHODIMP Heartbeat(LONG* result) override;
  IFACEMETHODIMP ServerTerminate() override;

 private:
  RtdServer() = default;
  ~RtdServer() override;
  HRESULT Initialize();
  void Notify();
  void Stop();

  com::ComPtr<ITypeLib> type_library_;
  com::TypeInfoDispatch dispatch_;
  com::ComPtr<IRTDUpdateEvent> callback_;
  std::shared_ptr<feed::FeedEngine> engine_;
  std::unique_ptr<TimerComponent> throttle_;
  std::unordered_map<LONG, feed::FeedEngine::CellId> cells_;
  std::unordered_map<feed::FeedEngine::CellId, LONG> topics_;
};

}  // namespace moravex::rtd
