// The ChartServiceClient control: the COM and ActiveX surface over the
// portable core. Hand-written COM; one apartment thread, nothing locked.
#pragma once
#include "windows/com/windows_headers.h"

#include <memory>

#include "MORAVEX1_h.h"
#include "windows/com/com_object.h"
#include "windows/com/com_ptr.h"
#include "windows/com/connection_point.h"
#include "client/chart_service_client.h"
#include "windows/com/dispatch.h"
#include "windows/control/notification_guard.h"
#include "platform/platform.h"

namespace moravex::windows {

class ControlEvents;

// The panel's size in twips, as the designer shows it.
inline constexpr LONG kPanelWidthTwips = 5460;
inline constexpr LONG kPanelHeightTwips = 765;

class ChartServiceControl final
    : public moravex::com::ComObject<ChartServiceControl, _ChartServiceClient, IConnectionPointContainer,
                                     IProvideClassInfo2, ISupportErrorInfo, IOleObject, IOleControl, IOleInPlaceObject,
                                     IOleInPlaceActiveObject, IViewObject2, IPersistStreamInit, IPersistPropertyBag,
                                     IPersistStorage> {
 public:
  // The control with its components; returns the requested interface.
  static HRESULT Create(moravex::Components components, REFIID riid, void** out);

  void* QueryOther(REFIID riid);
  moravex::com::ConnectionPoint& Events() { return connection_point_; }

  // IDispatch.
  IFACEMETHODIMP GetTypeInfoCount(UINT* count) override;
  IFACEMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override;
  IFACEMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  IFACEMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* bad_argument) override;

  // _ChartServiceClient.
  IFACEMETHODIMP put_LoginAndConnectTimeout(LONG value) override;
  IFACEMETHODIMP get_LoginAndConnectTimeout(LONG* value) override;
  IFACEMETHODIMP put_DataRequestTimeout(LONG value) override;
  IFACEMETHODIMP get_DataRequestTimeout(LONG* value) override;
  IFACEMETHODIMP put_SessionInfoTimeout(LONG value) override;
  IFACEMETHODIMP get_SessionInfoTimeout(LONG* value) override;
  IFACEMETHODIMP Connect(BSTR ServerName, LONG ServerPort) override;
  IFACEMETHODIMP Connected(VARIANT_BOOL* result) override;
  IFACEMETHODIMP LoggedIn(VARIANT_BOOL* result) override;
  IFACEMETHODIMP Disconnect() override;
  IFACEMETHODIMP Login(BSTR UserID, BSTR Password, BSTR LoginCookie) override;
  IFACEMETHODIMP SendDebugMessage(BSTR Message) override;
  IFACEMETHODIMP GetPriceChannelDataUpdates(BSTR Ticker, BSTR LastReceivedTimeStamp) override;
  IFACEMETHODIMP GetFullPriceChannelData(BSTR Ticker, LONG MaxChartPixels) override;
  IFACEMETHODIMP GetSessionTime() override;
  IFACEMETHODIMP GetSessionDate() override;
  IFACEMETHODIMP GetSessionDateTime() override;
  IFACEMETHODIMP GetPreviousSessionsLastAverageVantrelPrice(BSTR Ticker) override;
  IFACEMETHODIMP GetPreviousSessionsHighPrice(BSTR Ticker) override;
  IFACEMETHODIMP GetPreviousSessionsLowPrice(BSTR Ticker) override;
  IFACEMETHODIMP GetPreviousSessionsClosingPrice(BSTR Ticker) override;
  IFACEMETHODIMP GetPreviousSessionsSupportAndResistancePrices(BSTR Ticker) override;

  // IConnectionPointContainer.
  IFACEMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
  IFACEMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

  // IProvideClassInfo2.
  IFACEMETHODIMP GetClassInfo(ITypeInfo** info) override;
  IFACEMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

  // ISupportErrorInfo.
  IFACEMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

  // IOleObject.
  IFACEMETHODIMP SetClientSite(IOleClientSite* site) override;
  IFACEMETHODIMP GetClientSite(IOleClientSite** site) override;
  IFACEMETHODIMP SetHostNames(LPCOLESTR container_app, LPCOLESTR container_object) override;
  IFACEMETHODIMP Close(DWORD save_option) override;
  IFACEMETHODIMP SetMoniker(DWORD which, IMoniker* moniker) override;
  IFACEMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  IFACEMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  IFACEMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
  IFACEMETHODIMP DoVerb(LONG verb, LPMSG message, IOleClientSite* site, LONG index, HWND parent,
                        LPCRECT position) override;
  IFACEMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
  IFACEMETHODIMP Update() override;
  IFACEMETHODIMP IsUpToDate() override;
  IFACEMETHODIMP GetUserClassID(CLSID* clsid) override;
  IFACEMETHODIMP GetUserType(DWORD form, LPOLESTR* user_type) override;
  IFACEMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
  IFACEMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
  IFACEMETHODIMP Advise(IAdviseSink* sink, DWORD* connection) override;
  IFACEMETHODIMP Unadvise(DWORD connection) override;
  IFACEMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override;
  IFACEMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
  IFACEMETHODIMP SetColorScheme(LOGPALETTE* palette) override;

  // IOleControl.
  IFACEMETHODIMP GetControlInfo(CONTROLINFO* info) override;
  IFACEMETHODIMP OnMnemonic(MSG* message) override;
  IFACEMETHODIMP OnAmbientPropertyChange(DISPID id) override;
  IFACEMETHODIMP FreezeEvents(BOOL freeze) override;

  // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject.
  IFACEMETHODIMP GetWindow(HWND* window) override;
  IFACEMETHODIMP ContextSensitiveHelp(BOOL enter) override;
  IFACEMETHODIMP InPlaceDeactivate() override;
  IFACEMETHODIMP UIDeactivate() override;
  IFACEMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override;
  IFACEMETHODIMP ReactivateAndUndo() override;
  IFACEMETHODIMP TranslateAccelerator(LPMSG message) override;
  IFACEMETHODIMP OnFrameWindowActivate(BOOL activate) override;
  IFACEMETHODIMP OnDocWindowActivate(BOOL activate) override;
  IFACEMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
  IFACEMETHODIMP EnableModeless(BOOL enable) override;

  // IViewObject2.
  IFACEMETHODIMP Draw(DWORD aspect, LONG index, void* aspect_info, DVTARGETDEVICE* device, HDC target_info, HDC dc,
                      LPCRECTL bounds, LPCRECTL window_bounds, WINBOOL(STDMETHODCALLTYPE* keep_going)(ULONG_PTR),
                      ULONG_PTR keep_going_argument) override;
  IFACEMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspect_info, DVTARGETDEVICE* device, HDC target_info,
                             LOGPALETTE** colors) override;
  IFACEMETHODIMP Freeze(DWORD aspect, LONG index, void* aspect_info, DWORD* freeze) override;
  IFACEMETHODIMP Unfreeze(DWORD freeze) override;
  IFACEMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  IFACEMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  IFACEMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;

  // IPersist, IPersistStreamInit, IPersistPropertyBag, IPersistStorage: the
  // control keeps nothing, so loading and saving succeed without data.
  IFACEMETHODIMP GetClassID(CLSID* clsid) override;
  IFACEMETHODIMP IsDirty() override;
  IFACEMETHODIMP Load(IStream* stream) override;
  IFACEMETHODIMP Save(IStream* stream, BOOL clear_dirty) override;
  IFACEMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
  IFACEMETHODIMP InitNew() override;
  IFACEMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
  IFACEMETHODIMP Save(IPropertyBag* bag, BOOL clear_dirty, BOOL save_all) override;
  IFACEMETHODIMP InitNew(IStorage* storage) override;
  IFACEMETHODIMP Load(IStorage* storage) override;
  IFACEMETHODIMP Save(IStorage* storage, BOOL same_as_load) override;
  IFACEMETHODIMP SaveCompleted(IStorage* storage) override;
  IFACEMETHODIMP HandsOffStorage() override;

  // True while the site says the host runs (or says nothing).
  bool UserMode() const { return user_mode_; }

 private:
  ChartServiceControl();
  ~ChartServiceControl() override;
  HRESULT Initialize(moravex::Components components);

  template <class Body>
  HRESULT Call(Body&& body);
  void ReadUserMode();
  void ViewChanged();
  HRESULT ActivateInPlace();

  moravex::com::ConnectionPoint connection_point_;
  moravex::com::TypeInfoDispatch dispatch_;
  moravex::com::ComPtr<ITypeLib> type_library_;
  std::shared_ptr<moravex::ChartServiceClient> client_;
  std::shared_ptr<ControlEvents> events_;
  std::shared_ptr<NotificationOwner> owner_;

  moravex::com::ComPtr<IOleClientSite> site_;
  moravex::com::ComPtr<IOleInPlaceSite> in_place_site_;
  moravex::com::ComPtr<IOleAdviseHolder> advise_holder_;
  moravex::com::ComPtr<IAdviseSink> view_sink_;
  DWORD view_aspects_ = 0;
  DWORD view_flags_ = 0;
  SIZEL extent_;  // HIMETRIC
  RECT position_{};
  bool user_mode_ = true;
  bool in_place_active_ = false;
};

}  // namespace moravex::windows
