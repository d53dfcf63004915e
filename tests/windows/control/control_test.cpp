// The control created in-process over scripted socket and timers: its COM
// surface, errors at the boundary, every event by DISPID, several sinks,
// lifetimes, and the design-time picture.
#include "windows/com/windows_headers.h"

#include <gtest/gtest.h>

#include "MORAVEX1_h.h"
#include "windows/control/chart_service_control.h"
#include "windows/control/control_factory.h"
#include "tests/windows/control/control_test_support.h"
#include "windows/com/module_lock.h"
#include "platform/failure.h"

namespace moravex::windows::test {
namespace {

using moravex::AnsiBytes;
using moravex::Bytes;
using moravex::Frame;
using moravex::LongBytes;
using moravex::com::ComPtr;

Bytes Prices(std::initializer_list<float> prices) {
  Bytes bytes;
  for (float price : prices) {
    const Bytes one = moravex::SingleBytes(price);
    bytes.insert(bytes.end(), one.begin(), one.end());
  }
  return bytes;
}

// Frees the strings of one call.
struct Strings {
  std::vector<BSTR> held;
  BSTR operator()(const std::wstring& text) { return held.emplace_back(SysAllocString(text.c_str())); }
  ~Strings() {
    for (BSTR s : held) SysFreeString(s);
  }
};

std::pair<std::wstring, std::wstring> TakeErrorInfo() {
  ComPtr<IErrorInfo> info;
  BSTR source = nullptr, description = nullptr;
  if (GetErrorInfo(0, info.Put()) != S_OK) return {};
  info->GetSource(&source);
  info->GetDescription(&description);
  std::pair<std::wstring, std::wstring> texts{source, description};
  SysFreeString(source);
  SysFreeString(description);
  return texts;
}

class ControlTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0, moravex::com::ModuleLockCount());
    ASSERT_EQ(S_OK, moravex::windows::ChartServiceControl::Create(MakeTestComponents(parts_), IID__ChartServiceClient,
                                                                  control_.PutVoid()));
  }
  void TearDown() override {
    control_.Reset();
    EXPECT_EQ(0, moravex::com::ModuleLockCount());
  }

  ComPtr<IConnectionPoint> Point() {
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(S_OK, control_.As(container));
    EXPECT_EQ(S_OK, container->FindConnectionPoint(DIID___ChartServiceClient, point.Put()));
    return point;
  }
  ComPtr<RecordingSink> Advise(DWORD* cookie = nullptr) {
    auto sink = ComPtr<RecordingSink>::Attach(new RecordingSink());
    DWORD local = 0;
    EXPECT_EQ(S_OK, Point()->Advise(sink->Identity(), cookie ? cookie : &local));
    return sink;
  }
  void Connect() {
    ASSERT_EQ(S_OK, control_->Connect(text_(L"chart.example"), 4000));
    parts_.socket->FireConnect();
  }
  void Login(int32_t answer, const std::string& text) {
    ASSERT_EQ(S_OK, control_->Login(text_(std::wstring(36, L'u')), text_(std::wstring(36, L'p')), text_(L"")));
    parts_.socket->Arrive(Frame(1, moravex::Concat({LongBytes(answer), AnsiBytes(text)})));
  }
  // Sends the request, then its answer.
  void Ask(HRESULT (STDMETHODCALLTYPE _ChartServiceClient::*method)(BSTR), uint8_t type, const Bytes& answer) {
    ASSERT_EQ(S_OK, (control_.Get()->*method)(text_(L"ABC")));
    parts_.socket->Arrive(Frame(type, answer));
  }
  void AskFullData(const Bytes& answer) {
    ASSERT_EQ(S_OK, control_->GetFullPriceChannelData(text_(L"ABC"), 100));
    parts_.socket->Arrive(Frame(5, answer));
  }

  Strings text_;
  FakeParts parts_;
  ComPtr<_ChartServiceClient> control_;
};

TEST_F(ControlTest, OneIdentityDescribesTheClassAndPersistsNothing) {
  ComPtr<IUnknown> identity;
  ASSERT_EQ(S_OK, control_.As(identity));
  for (const IID& iid :
       {__uuidof(IDispatch), __uuidof(IConnectionPointContainer), __uuidof(IProvideClassInfo),
        __uuidof(IProvideClassInfo2), __uuidof(ISupportErrorInfo), __uuidof(IOleObject), __uuidof(IOleControl),
        __uuidof(IOleWindow), __uuidof(IOleInPlaceObject), __uuidof(IOleInPlaceActiveObject), __uuidof(IViewObject),
        __uuidof(IViewObject2), __uuidof(IPersist), __uuidof(IPersistStreamInit), __uuidof(IPersistPropertyBag),
        __uuidof(IPersistStorage)}) {
    ComPtr<IUnknown> facet, back;
    ASSERT_EQ(S_OK, control_->QueryInterface(iid, facet.PutVoid()));
    ASSERT_EQ(S_OK, facet.As(back));
    EXPECT_EQ(identity.Get(), back.Get());
  }

  ComPtr<IProvideClassInfo2> class_info;
  ComPtr<ITypeInfo> coclass;
  TYPEATTR* attributes = nullptr;
  GUID events{};
  ASSERT_EQ(S_OK, control_.As(class_info));
  EXPECT_EQ(S_OK, class_info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events));
  EXPECT_EQ(DIID___ChartServiceClient, events);
  ASSERT_EQ(S_OK, class_info->GetClassInfo(coclass.Put()));
  ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attributes));
  EXPECT_EQ(CLSID_ChartServiceClient, attributes->guid);
  coclass->ReleaseTypeAttr(attributes);
  ComPtr<ISupportErrorInfo> error_info;
  ASSERT_EQ(S_OK, control_.As(error_info));
  EXPECT_EQ(S_OK, error_info->InterfaceSupportsErrorInfo(IID__ChartServiceClient));
  EXPECT_EQ(S_FALSE, error_info->InterfaceSupportsErrorInfo(__uuidof(IOleObject)));

  ComPtr<IOleObject> ole;
  ComPtr<IViewObject2> view;
  DWORD status = 0;
  SIZEL extent{}, resized{2000, 500};
  ASSERT_EQ(S_OK, control_.As(ole));
  ASSERT_EQ(S_OK, control_.As(view));
  EXPECT_EQ(S_OK, ole->GetMiscStatus(DVASPECT_CONTENT, &status));
  EXPECT_EQ(0x20591u, status);
  EXPECT_EQ(S_OK, ole->GetExtent(DVASPECT_CONTENT, &extent));
  EXPECT_EQ(9631, extent.cx);  // 5460 twips in HIMETRIC
  EXPECT_EQ(1349, extent.cy);  // 765 twips
  EXPECT_EQ(S_OK, ole->SetExtent(DVASPECT_CONTENT, &resized));
  EXPECT_EQ(S_OK, view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &extent));
  EXPECT_EQ(2000, extent.cx);

  // Whatever a host loads, the time-outs stay at 5000 (VBScript reads all three).
  ComPtr<IPersistPropertyBag> bag;
  LONG timeout = 0;
  ASSERT_EQ(S_OK, control_.As(bag));
  EXPECT_EQ(S_OK, bag->Load(nullptr, nullptr));
  EXPECT_EQ(S_OK, control_->get_LoginAndConnectTimeout(&timeout));
  EXPECT_EQ(5000, timeout);

  ComPtr<IUnknown> aggregated;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, CreateChartServiceClient(identity.Get(), __uuidof(IUnknown), aggregated.PutVoid()));
}

TEST_F(ControlTest, VtableCallersGetTheNumberAndTheErrorInfo) {
  EXPECT_EQ(static_cast<HRESULT>(0x80040000), control_->Disconnect());
  EXPECT_EQ(std::make_pair(std::wstring(L"ChartServiceClient:Disconnect"), std::wstring(L"Not connected")),
            TakeErrorInfo());
  Connect();
  EXPECT_EQ(static_cast<HRESULT>(0x80040006), control_->Connect(text_(L"chart.example"), 4000));
  EXPECT_EQ(L"ChartServiceClient:Connect", TakeErrorInfo().first);
  // A time-out property passes its timer's own error through.
  parts_.data_timer->RefuseInterval("Invalid property value");
  EXPECT_EQ(static_cast<HRESULT>(moravex::kInvalidPropertyValue), control_->put_DataRequestTimeout(1));
  EXPECT_EQ(std::make_pair(std::wstring(L"tmrDataRequestTimeout"), std::wstring(L"Invalid property value")),
            TakeErrorInfo());
}

// Late binding: names give the declared DISPIDs, and a call by DISPID reaches
// the member, property puts included; failures come back in EXCEPINFO.
TEST_F(ControlTest, LateBindingByNameAndByDispid) {
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(S_OK, control_.As(dispatch));
  const std::pair<const wchar_t*, DISPID> members[] = {{L"LoginAndConnectTimeout", 0x68030002},
                                                       {L"DataRequestTimeout", 0x68030001},
                                                       {L"SessionInfoTimeout", 0x68030000},
                                                       {L"Connect", 0x60030003},
                                                       {L"Connected", 0x60030004},
                                                       {L"SendDebugMessage", 0x60030008},
                                                       {L"GetPreviousSessionsSupportAndResistancePrices", 0x60030012}};
  for (const auto& [name, expected] : members) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    ASSERT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)) << name;
    EXPECT_EQ(expected, id) << name;
  }

  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_I4;
  V_I4(&value) = 1234;
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS put_params = {&value, &put, 1, 1};
  ASSERT_EQ(S_OK, dispatch->Invoke(0x68030001, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &put_params,
                                   nullptr, nullptr, nullptr));
  VARIANT result;
  VariantInit(&result);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  ASSERT_EQ(S_OK, dispatch->Invoke(0x68030001, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result,
                                   nullptr, nullptr));
  EXPECT_EQ(VT_I4, V_VT(&result));
  EXPECT_EQ(1234, V_I4(&result));
  ASSERT_EQ(S_OK, dispatch->Invoke(0x60030004, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result, nullptr,
                                   nullptr));
  EXPECT_EQ(VT_BOOL, V_VT(&result));
  EXPECT_EQ(VARIANT_FALSE, V_BOOL(&result));

  EXCEPINFO failure = {};
  EXPECT_EQ(DISP_E_EXCEPTION, dispatch->Invoke(0x60030006, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none,
                                               nullptr, &failure, nullptr));
  EXPECT_EQ(static_cast<HRESULT>(0x80040000), failure.scode);
  EXPECT_STREQ(L"ChartServiceClient:Disconnect", failure.bstrSource);
  EXPECT_STREQ(L"Not connected", failure.bstrDescription);
  SysFreeString(failure.bstrSource);
  SysFreeString(failure.bstrDescription);
  SysFreeString(failure.bstrHelpFile);
}

TEST_F(ControlTest, EveryEventFiresByItsDispidWithTheDeclaredTypes) {
  ComPtr<RecordingSink> sink = Advise();
  Connect();
  Login(7, "Refused");
  Login(0, "OK");
  parts_.socket->Arrive(Frame(0, AnsiBytes("debug")));
  ASSERT_EQ(S_OK, control_->GetSessionDateTime());
  parts_.socket->Arrive(Frame(2, AnsiBytes("12/08/2026 10:00:00")));
  ASSERT_EQ(S_OK, control_->GetSessionDate());
  parts_.socket->Arrive(Frame(3, AnsiBytes("12/08/2026")));
  ASSERT_EQ(S_OK, control_->GetSessionTime());
  parts_.socket->Arrive(Frame(4, AnsiBytes("10:00:00")));
  ASSERT_EQ(S_OK, control_->GetSessionTime());
  parts_.session_timer->Tick();
  AskFullData(moravex::Concat({AnsiBytes("10:00:00"), Prices({1, 2, 3, 4})}));
  ASSERT_EQ(S_OK, control_->GetPriceChannelDataUpdates(text_(L"ABC"), text_(L"12/8/2026")));
  parts_.socket->Arrive(Frame(6, AnsiBytes("")));
  Ask(&_ChartServiceClient::GetPreviousSessionsSupportAndResistancePrices, 11, Prices({1.5f, 2.5f, -3.5f, 4.25f}));
  Ask(&_ChartServiceClient::GetPreviousSessionsLastAverageVantrelPrice, 7, Prices({0.5f}));
  Ask(&_ChartServiceClient::GetPreviousSessionsHighPrice, 8, Prices({8}));
  Ask(&_ChartServiceClient::GetPreviousSessionsLowPrice, 9, Prices({9}));
  Ask(&_ChartServiceClient::GetPreviousSessionsClosingPrice, 10, Prices({10}));
  // The host leaves an object of another kind in the argument: Error follows.
  sink->on_event = [&](DISPID id, DISPPARAMS* params) {
    if (id != 11) return;
    IDispatch** slot = params->rgvarg[0].ppdispVal;
    (*slot)->Release();
    *slot = static_cast<IDispatch*>(sink.Get());
    sink->AddRef();
  };
  AskFullData({});
  sink->on_event = nullptr;
  parts_.socket->FirePeerClose();
  ASSERT_EQ(S_OK, control_->Connect(text_(L"chart.example"), 4000));
  parts_.socket->FireError(u"refused");

  const VARTYPE kObject = VT_BYREF | VT_DISPATCH;
  const std::vector<Event> expected = {
      {2, {}, {}},
      {6, {VT_I4, VT_BSTR}, {L"7", L"Refused"}},
      {5, {}, {}},
      {7, {VT_BSTR}, {L"debug"}},
      {8, {VT_BSTR}, {L"12/08/2026 10:00:00"}},
      {9, {VT_BSTR}, {L"12/08/2026"}},
      {10, {VT_BSTR}, {L"10:00:00"}},
      {13, {VT_I4}, {L"6"}},
      {11, {kObject}, {L"object"}},
      {12, {kObject}, {L"object"}},
      {18, {VT_R4, VT_R4, VT_R4, VT_R4}, {L"1.5", L"2.5", L"-3.5", L"4.25"}},
      {14, {VT_R4}, {L"0.5"}},
      {15, {VT_R4}, {L"8"}},
      {16, {VT_R4}, {L"9"}},
      {17, {VT_R4}, {L"10"}},
      {11, {kObject}, {L"object"}},
      {1, {VT_I4, VT_BSTR}, {L"-2147221500", L"Type mismatch"}},
      {3, {VT_BSTR}, {L"Winsock1_Close"}},
      {4, {}, {}},
  };
  ASSERT_EQ(expected.size(), sink->events.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].id, sink->events[i].id) << "event " << i;
    EXPECT_EQ(expected[i].types, sink->events[i].types) << "event " << i;
    EXPECT_EQ(expected[i].texts, sink->events[i].texts) << "event " << i;
  }
}

TEST_F(ControlTest, SeveralSinksAndUnadviseAtAnyTimeEvenInsideAnEvent) {
  DWORD cookies[3] = {};
  ComPtr<RecordingSink> sinks[3] = {Advise(&cookies[0]), Advise(&cookies[1]), Advise(&cookies[2])};
  ComPtr<IConnectionPoint> point = Point();

  ComPtr<IEnumConnections> connections, clone;
  CONNECTDATA data[4] = {};
  ULONG fetched = 0;
  ASSERT_EQ(S_OK, point->EnumConnections(connections.Put()));
  EXPECT_EQ(S_FALSE, connections->Next(4, data, &fetched));
  ASSERT_EQ(3u, fetched);
  for (ULONG i = 0; i < fetched; ++i) {
    EXPECT_EQ(cookies[i], data[i].dwCookie);
    data[i].pUnk->Release();
  }
  ASSERT_EQ(S_OK, connections->Reset());
  ASSERT_EQ(S_OK, connections->Skip(2));
  ASSERT_EQ(S_OK, connections->Clone(clone.Put()));
  ASSERT_EQ(S_OK, clone->Next(1, data, nullptr));
  EXPECT_EQ(cookies[2], data[0].dwCookie);
  data[0].pUnk->Release();

  ComPtr<IConnectionPointContainer> container;
  ComPtr<IEnumConnectionPoints> points;
  IConnectionPoint* listed[2] = {};
  IID iid{};
  ASSERT_EQ(S_OK, control_.As(container));
  ASSERT_EQ(S_OK, container->EnumConnectionPoints(points.Put()));
  EXPECT_EQ(S_FALSE, points->Next(2, listed, &fetched));
  ASSERT_EQ(1u, fetched);
  EXPECT_EQ(S_OK, listed[0]->GetConnectionInterface(&iid));
  EXPECT_EQ(DIID___ChartServiceClient, iid);
  listed[0]->Release();

  // The first sink drops the second and itself while handling Connected.
  sinks[0]->on_event = [&](DISPID, DISPPARAMS*) {
    EXPECT_EQ(S_OK, point->Unadvise(cookies[1]));
    EXPECT_EQ(S_OK, point->Unadvise(cookies[0]));
  };
  Connect();
  parts_.socket->FirePeerClose();
  EXPECT_EQ(1u, sinks[0]->events.size());
  EXPECT_EQ(0u, sinks[1]->events.size());
  EXPECT_EQ(2u, sinks[2]->events.size());
  EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookies[1]));
}

TEST_F(ControlTest, TheHostMayReleaseTheControlInsideAnEvent) {
  ComPtr<RecordingSink> releasing = Advise();
  ComPtr<RecordingSink> later = Advise();
  Connect();
  Login(0, "OK");
  // The host drops its last reference and leaves a foreign object behind:
  // the control lives until the core has finished the notification, so both
  // sinks hear the data event and the Error after it; then the module is free.
  releasing->on_event = [&](DISPID id, DISPPARAMS* params) {
    if (id != 11) return;
    IDispatch** slot = params->rgvarg[0].ppdispVal;
    (*slot)->Release();
    *slot = static_cast<IDispatch*>(releasing.Get());
    releasing->AddRef();
    control_.Reset();
  };
  AskFullData({});
  ASSERT_FALSE(control_);
  for (RecordingSink* sink : {releasing.Get(), later.Get()}) {
    ASSERT_EQ(4u, sink->events.size());  // Connected, LoggedIn, data, Error
    EXPECT_EQ(11, sink->events[2].id);
    EXPECT_EQ(1, sink->events[3].id);
  }
}

TEST_F(ControlTest, OnlyADesignerSeesThePanel) {
  ComPtr<IOleObject> ole;
  ComPtr<IViewObject> view;
  ComPtr<IOleControl> control;
  ASSERT_EQ(S_OK, control_.As(ole));
  ASSERT_EQ(S_OK, control_.As(view));
  ASSERT_EQ(S_OK, control_.As(control));
  auto site = ComPtr<TestSite>::Attach(new TestSite());
  site->user_mode = false;
  ASSERT_EQ(S_OK, ole->SetClientSite(site.Get()));
  const std::vector<uint32_t> design = DrawPanel(view.Get());
  WriteBmp(L"design_time.bmp", design);
  EXPECT_TRUE(LooksLikeThePanel(design));

  // An ambient change reaches the control: in a running host nothing is drawn.
  site->user_mode = true;
  EXPECT_EQ(S_OK, control->OnAmbientPropertyChange(DISPID_AMBIENT_USERMODE));
  EXPECT_TRUE(IsBlank(DrawPanel(view.Get())));
  // A site without ambient properties is a running host too.
  site->ambient = false;
  site->user_mode = false;
  EXPECT_EQ(S_OK, control->OnAmbientPropertyChange(DISPID_UNKNOWN));
  EXPECT_TRUE(IsBlank(DrawPanel(view.Get())));
  EXPECT_EQ(S_OK, ole->Close(OLECLOSE_NOSAVE));
  EXPECT_EQ(S_OK, ole->SetClientSite(nullptr));
}

}  // namespace
}  // namespace moravex::windows::test
