#include "windows/control/chart_service_control.h"

#include <new>

#include "windows/com/bstr.h"
#include "windows/control/control_events.h"
#include "windows/control/design_view.h"
#include "windows/com/error_info.h"
#include "windows/com/module_type_library.h"
#include "registration_table.h"  // kMiscStatus, as registered

namespace moravex::windows {

using moravex::com::ComPtr;
using moravex::com::TextOf;

namespace {

// Twips to HIMETRIC (0.01 mm): 1440 twips and 2540 HIMETRIC make an inch.
LONG TwipsToHimetric(LONG twips) { return MulDiv(twips, 2540, 1440); }

}  // namespace

ChartServiceControl::ChartServiceControl()
    : connection_point_(this, DIID___ChartServiceClient),
      extent_{TwipsToHimetric(kPanelWidthTwips), TwipsToHimetric(kPanelHeightTwips)} {}

ChartServiceControl::~ChartServiceControl() {
  // Nothing reaches this object any more, whatever the core still does.
  if (owner_) owner_->control = nullptr;
  if (events_) events_->Detach();
  client_.reset();
  connection_point_.UnadviseAll();
}

HRESULT ChartServiceControl::Create(moravex::Components components, REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  auto* control = new (std::nothrow) ChartServiceControl();
  if (control == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = control->Initialize(std::move(components));
  if (SUCCEEDED(hr)) hr = control->QueryInterface(riid, out);
  control->Release();
  return hr;
}

HRESULT ChartServiceControl::Initialize(moravex::Components components) {
  HRESULT hr = moravex::com::LoadModuleTypeLib(type_library_.Put());
  if (SUCCEEDED(hr)) hr = dispatch_.Load(type_library_.Get(), IID__ChartServiceClient);
  if (FAILED(hr)) return hr;
  return moravex::com::ReturningHresultWithErrorInfo(IID__ChartServiceClient, [&] {
    owner_ = std::make_shared<NotificationOwner>(NotificationOwner{Identity()});
    events_ = std::make_shared<ControlEvents>(this);
    client_ = moravex::ChartServiceClient::Create(GuardNotifications(std::move(components), owner_));
    client_->SetEvents(events_);
  });
}

void* ChartServiceControl::QueryOther(REFIID riid) {
  if (riid == __uuidof(IDispatch)) return static_cast<_ChartServiceClient*>(this);
  if (riid == __uuidof(IProvideClassInfo)) return static_cast<IProvideClassInfo2*>(this);
  if (riid == __uuidof(IViewObject)) return static_cast<IViewObject2*>(this);
  if (riid == __uuidof(IOleWindow)) return static_cast<IOleInPlaceObject*>(this);
  if (riid == __uuidof(IPersist)) return static_cast<IPersistStreamInit*>(this);
  return nullptr;
}

// Every method of the dual interface: failures become the HRESULT plus rich
// error info; nothing escapes.
template <class Body>
HRESULT ChartServiceControl::Call(Body&& body) {
  return moravex::com::ReturningHresultWithErrorInfo(IID__ChartServiceClient, std::forward<Body>(body));
}

// IDispatch --------------------------------------------------------------

HRESULT ChartServiceControl::GetTypeInfoCount(UINT* count) { return dispatch_.GetTypeInfoCount(count); }

HRESULT ChartServiceControl::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  return dispatch_.GetTypeInfo(index, info);
}

HRESULT ChartServiceControl::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return dispatch_.GetIDsOfNames(riid, names, count, ids);
}

HRESULT ChartServiceControl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                    EXCEPINFO* exception, UINT* bad_argument) {
  return dispatch_.Invoke(static_cast<_ChartServiceClient*>(this), id, riid, flags, params, result, exception,
                          bad_argument);
}

// _ChartServiceClient ----------------------------------------------------

HRESULT ChartServiceControl::put_LoginAndConnectTimeout(LONG value) {
  return Call([&] { client_->SetLoginAndConnectTimeout(value); });
}
HRESULT ChartServiceControl::get_LoginAndConnectTimeout(LONG* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] { *value = client_->LoginAndConnectTimeout(); });
}
HRESULT ChartServiceControl::put_DataRequestTimeout(LONG value) {
  return Call([&] { client_->SetDataRequestTimeout(value); });
}
HRESULT ChartServiceControl::get_DataRequestTimeout(LONG* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] { *value = client_->DataRequestTimeout(); });
}
HRESULT ChartServiceControl::put_SessionInfoTimeout(LONG value) {
  return Call([&] { client_->SetSessionInfoTimeout(value); });
}
HRESULT ChartServiceControl::get_SessionInfoTimeout(LONG* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] { *value = client_->SessionInfoTimeout(); });
}
HRESULT ChartServiceControl::Connect(BSTR ServerName, LONG ServerPort) {
  return Call([&] { client_->Connect(TextOf(ServerName), ServerPort); });
}
HRESULT ChartServiceControl::Connected(VARIANT_BOOL* result) {
  if (result == nullptr) return E_POINTER;
  return Call([&] { *result = client_->Connected() ? VARIANT_TRUE : VARIANT_FALSE; });
}
HRESULT ChartServiceControl::LoggedIn(VARIANT_BOOL* result) {
  if (result == nullptr) return E_POINTER;
  return Call([&] { *result = client_->LoggedIn() ? VARIANT_TRUE : VARIANT_FALSE; });
}
HRESULT ChartServiceControl::Disconnect() {
  return Call([&] { client_->Disconnect(); });
}
HRESULT ChartServiceControl::Login(BSTR UserID, BSTR Password, BSTR LoginCookie) {
  return Call([&] { client_->Login(TextOf(UserID), TextOf(Password), TextOf(LoginCookie)); });
}
HRESULT ChartServiceControl::SendDebugMessage(BSTR Message) {
  return Call([&] { client_->SendDebugMessage(TextOf(Message)); });
}
HRESULT ChartServiceControl::GetPriceChannelDataUpdates(BSTR Ticker, BSTR LastReceivedTimeStamp) {
  return Call([&] { client_->GetPriceChannelDataUpdates(TextOf(Ticker), TextOf(LastReceivedTimeStamp)); });
}
HRESULT ChartServiceControl::GetFullPriceChannelData(BSTR Ticker, LONG MaxChartPixels) {
  return Call([&] { client_->GetFullPriceChannelData(TextOf(Ticker), MaxChartPixels); });
}
HRESULT ChartServiceControl::GetSessionTime() {
  return Call([&] { client_->GetSessionTime(); });
}
HRESULT ChartServiceControl::GetSessionDate() {
  return Call([&] { client_->GetSessionDate(); });
}
HRESULT ChartServiceControl::GetSessionDateTime() {
  return Call([&] { client_->GetSessionDateTime(); });
}
HRESULT ChartServiceControl::GetPreviousSessionsLastAverageVantrelPrice(BSTR Ticker) {
  return Call([&] { client_->GetPreviousSessionsLastAverageVantrelPrice(TextOf(Ticker)); });
}
HRESULT ChartServiceControl::GetPreviousSessionsHighPrice(BSTR Ticker) {
  return Call([&] { client_->GetPreviousSessionsHighPrice(TextOf(Ticker)); });
}
HRESULT ChartServiceControl::GetPreviousSessionsLowPrice(BSTR Ticker) {
  return Call([&] { client_->GetPreviousSessionsLowPrice(TextOf(Ticker)); });
}
HRESULT ChartServiceControl::GetPreviousSessionsClosingPrice(BSTR Ticker) {
  return Call([&] { client_->GetPreviousSessionsClosingPrice(TextOf(Ticker)); });
}
HRESULT ChartServiceControl::GetPreviousSessionsSupportAndResistancePrices(BSTR Ticker) {
  return Call([&] { client_->GetPreviousSessionsSupportAndResistancePrices(TextOf(Ticker)); });
}

// IConnectionPointContainer ----------------------------------------------

HRESULT ChartServiceControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
  return moravex::com::CreateConnectionPointEnumerator({&connection_point_}, points);
}

HRESULT ChartServiceControl::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  if (point == nullptr) return E_POINTER;
  *point = nullptr;
  if (riid != DIID___ChartServiceClient) return CONNECT_E_NOCONNECTION;
  connection_point_.AddRef();
  *point = &connection_point_;
  return S_OK;
}

// IProvideClassInfo2, ISupportErrorInfo ----------------------------------

HRESULT ChartServiceControl::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  return type_library_->GetTypeInfoOfGuid(CLSID_ChartServiceClient, info);
}

HRESULT ChartServiceControl::GetGUID(DWORD kind, GUID* guid) {
  if (guid == nullptr) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = DIID___ChartServiceClient;
  return S_OK;
}

HRESULT ChartServiceControl::InterfaceSupportsErrorInfo(REFIID riid) {
  return riid == IID__ChartServiceClient ? S_OK : S_FALSE;
}

// IOleObject -------------------------------------------------------------

// The site's ambient UserMode; a site without ambient properties is a
// running host.
void ChartServiceControl::ReadUserMode() {
  bool user_mode = true;
  ComPtr<IDispatch> ambient;
  if (site_ && SUCCEEDED(site_.As(ambient))) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT value;
    VariantInit(&value);
    if (SUCCEEDED(ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                  &value, nullptr, nullptr)) &&
        SUCCEEDED(VariantChangeType(&value, &value, 0, VT_BOOL))) {
      user_mode = value.boolVal != VARIANT_FALSE;
    }
    VariantClear(&value);
  }
  if (user_mode != user_mode_) {
    user_mode_ = user_mode;
    ViewChanged();
  }
}

void ChartServiceControl::ViewChanged() {
  if (view_sink_ && (view_aspects_ & DVASPECT_CONTENT) != 0) view_sink_->OnViewChange(DVASPECT_CONTENT, -1);
}

HRESULT ChartServiceControl::SetClientSite(IOleClientSite* site) {
  if (site == nullptr) InPlaceDeactivate();
  site_ = ComPtr<IOleClientSite>(site);
  ReadUserMode();
  return S_OK;
}

HRESULT ChartServiceControl::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) return E_POINTER;
  *site = site_.Copy();
  return S_OK;
}

HRESULT ChartServiceControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT ChartServiceControl::Close(DWORD) {
  InPlaceDeactivate();
  if (advise_holder_) advise_holder_->SendOnClose();
  return S_OK;
}

HRESULT ChartServiceControl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

HRESULT ChartServiceControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker != nullptr) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT ChartServiceControl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

HRESULT ChartServiceControl::GetClipboardData(DWORD, IDataObject** data) {
  if (data != nullptr) *data = nullptr;
  return E_NOTIMPL;
}

// In-place activation without a window and without any user interface.
HRESULT ChartServiceControl::ActivateInPlace() {
  if (in_place_active_) return S_OK;
  if (!site_) return E_UNEXPECTED;
  ComPtr<IOleInPlaceSite> in_place;
  if (FAILED(site_.As(in_place))) return E_NOINTERFACE;
  if (in_place->CanInPlaceActivate() != S_OK) return E_FAIL;
  HRESULT hr = in_place->OnInPlaceActivate();
  if (FAILED(hr)) return hr;
  in_place_site_ = in_place;
  in_place_active_ = true;
  return S_OK;
}

HRESULT ChartServiceControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT position) {
  if (site != nullptr && !site_) SetClientSite(site);
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE: {
      const HRESULT hr = ActivateInPlace();
      if (SUCCEEDED(hr) && position != nullptr) position_ = *position;
      if (SUCCEEDED(hr) && site_) site_->ShowObject();
      return hr;
    }
    case OLEIVERB_HIDE: return InPlaceDeactivate();
    case OLEIVERB_OPEN:
    case OLEIVERB_DISCARDUNDOSTATE: return E_NOTIMPL;
    default: return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
  }
}

HRESULT ChartServiceControl::EnumVerbs(IEnumOLEVERB** verbs) {
  if (verbs != nullptr) *verbs = nullptr;
  return OLE_S_USEREG;
}

HRESULT ChartServiceControl::Update() { return S_OK; }
HRESULT ChartServiceControl::IsUpToDate() { return S_OK; }

HRESULT ChartServiceControl::GetUserClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_ChartServiceClient;
  return S_OK;
}

HRESULT ChartServiceControl::GetUserType(DWORD, LPOLESTR* user_type) {
  if (user_type != nullptr) *user_type = nullptr;
  return OLE_S_USEREG;
}

HRESULT ChartServiceControl::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (size == nullptr) return E_POINTER;
  extent_ = *size;
  return S_OK;
}

HRESULT ChartServiceControl::GetExtent(DWORD aspect, SIZEL* size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = extent_;
  return S_OK;
}

HRESULT ChartServiceControl::Advise(IAdviseSink* sink, DWORD* connection) {
  if (connection == nullptr) return E_POINTER;
  *connection = 0;
  if (!advise_holder_) {
    const HRESULT hr = CreateOleAdviseHolder(advise_holder_.Put());
    if (FAILED(hr)) return hr;
  }
  return advise_holder_->Advise(sink, connection);
}

HRESULT ChartServiceControl::Unadvise(DWORD connection) {
  if (!advise_holder_) return OLE_E_NOCONNECTION;
  return advise_holder_->Unadvise(connection);
}

HRESULT ChartServiceControl::EnumAdvise(IEnumSTATDATA** advise) {
  if (advise == nullptr) return E_POINTER;
  *advise = nullptr;
  if (!advise_holder_) return E_FAIL;
  return advise_holder_->EnumAdvise(advise);
}

HRESULT ChartServiceControl::GetMiscStatus(DWORD aspect, DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = aspect == DVASPECT_CONTENT ? kMiscStatus : 0;
  return S_OK;
}

HRESULT ChartServiceControl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// IOleControl ------------------------------------------------------------

HRESULT ChartServiceControl::GetControlInfo(CONTROLINFO* info) {
  if (info == nullptr) return E_POINTER;
  // No mnemonics, and no keys the control wants for itself.
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

HRESULT ChartServiceControl::OnMnemonic(MSG*) { return E_NOTIMPL; }

HRESULT ChartServiceControl::OnAmbientPropertyChange(DISPID id) {
  if (id == DISPID_AMBIENT_USERMODE || id == DISPID_UNKNOWN) ReadUserMode();
  return S_OK;
}

HRESULT ChartServiceControl::FreezeEvents(BOOL) { return S_OK; }

// IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject -----------------

HRESULT ChartServiceControl::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  // Invisible at run time: there is no window to show.
  *window = nullptr;
  return E_FAIL;
}

HRESULT ChartServiceControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT ChartServiceControl::InPlaceDeactivate() {
  if (!in_place_active_) return S_OK;
  in_place_active_ = false;
  ComPtr<IOleInPlaceSite> in_place = std::move(in_place_site_);
  if (in_place) in_place->OnInPlaceDeactivate();
  return S_OK;
}

HRESULT ChartServiceControl::UIDeactivate() { return S_OK; }

HRESULT ChartServiceControl::SetObjectRects(LPCRECT position, LPCRECT) {
  if (position == nullptr) return E_POINTER;
  position_ = *position;
  return S_OK;
}

HRESULT ChartServiceControl::ReactivateAndUndo() { return E_NOTIMPL; }
HRESULT ChartServiceControl::TranslateAccelerator(LPMSG) { return S_FALSE; }
HRESULT ChartServiceControl::OnFrameWindowActivate(BOOL) { return S_OK; }
HRESULT ChartServiceControl::OnDocWindowActivate(BOOL) { return S_OK; }
HRESULT ChartServiceControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
HRESULT ChartServiceControl::EnableModeless(BOOL) { return S_OK; }

// IViewObject2 -----------------------------------------------------------

HRESULT ChartServiceControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                                  WINBOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (dc == nullptr || bounds == nullptr) return E_INVALIDARG;
  // Only a designer sees the control.
  if (user_mode_) return S_OK;
  DrawDesignPanel(dc, RECT{bounds->left, bounds->top, bounds->right, bounds->bottom});
  return S_OK;
}

HRESULT ChartServiceControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
  if (colors != nullptr) *colors = nullptr;
  return E_NOTIMPL;
}

HRESULT ChartServiceControl::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
HRESULT ChartServiceControl::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT ChartServiceControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  view_aspects_ = aspects;
  view_flags_ = flags;
  view_sink_ = ComPtr<IAdviseSink>(sink);
  if ((flags & ADVF_PRIMEFIRST) != 0) ViewChanged();
  return S_OK;
}

HRESULT ChartServiceControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects != nullptr) *aspects = view_aspects_;
  if (flags != nullptr) *flags = view_flags_;
  if (sink != nullptr) *sink = view_sink_.Copy();
  return S_OK;
}

HRESULT ChartServiceControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  return GetExtent(aspect, size);
}

// IPersist* --------------------------------------------------------------

HRESULT ChartServiceControl::GetClassID(CLSID* clsid) { return GetUserClassID(clsid); }
HRESULT ChartServiceControl::IsDirty() { return S_FALSE; }
HRESULT ChartServiceControl::Load(IStream*) { return S_OK; }
HRESULT ChartServiceControl::Save(IStream*, BOOL) { return S_OK; }

HRESULT ChartServiceControl::GetSizeMax(ULARGE_INTEGER* size) {
  if (size == nullptr) return E_POINTER;
  size->QuadPart = 0;
  return S_OK;
}

HRESULT ChartServiceControl::InitNew() { return S_OK; }
HRESULT ChartServiceControl::Load(IPropertyBag*, IErrorLog*) { return S_OK; }
HRESULT ChartServiceControl::Save(IPropertyBag*, BOOL, BOOL) { return S_OK; }
HRESULT ChartServiceControl::InitNew(IStorage*) { return S_OK; }
HRESULT ChartServiceControl::Load(IStorage*) { return S_OK; }
HRESULT ChartServiceControl::Save(IStorage*, BOOL) { return S_OK; }
HRESULT ChartServiceControl::SaveCompleted(IStorage*) { return S_OK; }
HRESULT ChartServiceControl::HandsOffStorage() { return S_OK; }

}  // namespace moravex::windows
