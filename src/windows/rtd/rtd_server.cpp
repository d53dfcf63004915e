#include "windows/rtd/rtd_server.h"

#include <new>
#include <vector>

#include "feed/windows/windows_sources.h"
#include "windows/com/error_info.h"
#include "windows/com/module_type_library.h"
#include "windows/components/message_window.h"
#include "windows/components/window_timer.h"
#include "windows/rtd/rtd_values.h"

namespace moravex::rtd {
namespace {

int32_t ThrottleMs() {
  DWORD value = 0, size = sizeof value;
  if (RegGetValueW(HKEY_CURRENT_USER, kRtdSettingsKey, L"throttle_ms", RRF_RT_REG_DWORD, nullptr, &value, &size) !=
          ERROR_SUCCESS ||
      value == 0 || value > 3600000)
    return kDefaultThrottleMs;
  return static_cast<int32_t>(value);
}

}  // namespace

HRESULT RtdServer::Create(IUnknown* outer, REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  auto* server = new (std::nothrow) RtdServer();
  if (server == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = server->Initialize();
  if (SUCCEEDED(hr)) hr = server->QueryInterface(riid, out);
  server->Release();
  return hr;
}

HRESULT RtdServer::Initialize() {
  HRESULT hr = com::LoadModuleTypeLib(type_library_.Put());
  if (SUCCEEDED(hr)) hr = dispatch_.Load(type_library_.Get(), IID_IRtdServer);
  return hr;
}

RtdServer::~RtdServer() { Stop(); }

void* RtdServer::QueryOther(REFIID riid) {
  return riid == __uuidof(IDispatch) ? static_cast<IRtdServer*>(this) : nullptr;
}

HRESULT RtdServer::GetTypeInfoCount(UINT* count) { return dispatch_.GetTypeInfoCount(count); }

HRESULT RtdServer::GetTypeInfo(UINT index, LCID, ITypeInfo** info) { return dispatch_.GetTypeInfo(index, info); }

HRESULT RtdServer::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return dispatch_.GetIDsOfNames(riid, names, count, ids);
}

HRESULT RtdServer::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* exception, UINT* bad_argument) {
  return dispatch_.Invoke(static_cast<IRtdServer*>(this), id, riid, flags, params, result, exception, bad_argument);
}

HRESULT RtdServer::ServerStart(IRTDUpdateEvent* callback, LONG* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  if (callback == nullptr) return E_INVALIDARG;
  if (engine_) return E_UNEXPECTED;  // started once per server object
  return com::ReturningHresultWithErrorInfo(IID_IRtdServer, [&] {
    const auto window = windows::MessageWindow::Create();
    throttle_ = windows::MakeWindowTimer(window, "UpdateNotify");
    throttle_->SetInterval(ThrottleMs());
    throttle_->SetTickHandler([this] { Notify(); });
    engine_ = feed::FeedEngine::Create(feed::MakeWindowsFeedPlatform(std::make_shared<feed::RegistryProfiles>(),
                                                                     std::make_shared<feed::CredentialStore>()));
    // Told once per waiting change: the first UpdateNotify of a burst waits
    // the throttle's interval, so later changes of the burst ride along.
    engine_->SetChangeListener([this] {
      if (!throttle_->Enabled()) throttle_->SetEnabled(true);
    });
    callback_ = com::ComPtr<IRTDUpdateEvent>(callback);
    *result = 1;
  });
}

void RtdServer::Notify() {
  throttle_->SetEnabled(false);
  const com::ComPtr<IRTDUpdateEvent> callback = callback_;  // the sheet may terminate us from inside
  com::KeepAlive alive(Identity());
  if (callback) callback->UpdateNotify();
}

HRESULT RtdServer::ConnectData(LONG topic_id, SAFEARRAY** strings, VARIANT_BOOL* get_new_values, VARIANT* value) {
  if (strings == nullptr || get_new_values == nullptr || value == nullptr) return E_POINTER;
  VariantInit(value);
  if (!engine_) return E_UNEXPECTED;
  if (cells_.contains(topic_id)) return E_INVALIDARG;
  return com::ReturningHresultWithErrorInfo(IID_IRtdServer, [&] {
    const std::vector<Text> texts = TopicStrings(*strings);
    const feed::FeedEngine::CellId cell = engine_->Subscribe(texts);
    cells_.emplace(topic_id, cell);
    topics_.emplace(cell, topic_id);
    // The current value: the sheet shows it until the first refresh.
    ToVariant(engine_->Value(cell), value);
    *get_new_values = VARIANT_TRUE;
  });
}

HRESULT RtdServer::RefreshData(LONG* topic_count, SAFEARRAY** values) {
  if (topic_count == nullptr || values == nullptr) return E_POINTER;
  *topic_count = 0;
  *values = nullptr;
  if (!engine_) return E_UNEXPECTED;
  return com::ReturningHresultWithErrorInfo(IID_IRtdServer, [&] {
    const std::vector<feed::FeedEngine::Change> changes = engine_->TakeChanges();
    std::vector<std::pair<LONG, const feed::FeedValue*>> changed;
    changed.reserve(changes.size());
    for (const feed::FeedEngine::Change& change : changes) {
      if (const auto topic = topics_.find(change.id); topic != topics_.end())
        changed.emplace_back(topic->second, &change.value);
    }
    *values = TopicValueArray(changed);
    *topic_count = static_cast<LONG>(changed.size());
  });
}

HRESULT RtdServer::DisconnectData(LONG topic_id) {
  const auto cell = cells_.find(topic_id);
  if (cell == cells_.end()) return S_OK;  // already gone, or never connected: nothing to do
  return com::ReturningHresultWithErrorInfo(IID_IRtdServer, [&] {
    topics_.erase(cell->second);
    const feed::FeedEngine::CellId id = cell->second;
    cells_.erase(cell);
    if (engine_) engine_->Unsubscribe(id);
  });
}

HRESULT RtdServer::Heartbeat(LONG* result) {
  if (result == nullptr) return E_POINTER;
  *result = engine_ ? 1 : 0;
  return S_OK;
}

HRESULT RtdServer::ServerTerminate() {
  Stop();
  return S_OK;
}

// Every connection, window and timer ends here; nothing calls the sheet after.
void RtdServer::Stop() {
  callback_.Reset();
  if (engine_) engine_->Shutdown();
  engine_.reset();
  throttle_.reset();
  cells_.clear();
  topics_.clear();
}

}  // namespace moravex::rtd
