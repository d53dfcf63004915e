// The control created in-process over scripted components: its COM surface,
// errors at the boundary, every event by DISPID, sinks and lifetimes, and
// the design-time picture.
#include "windows_headers.h"

#include <gtest/gtest.h>

#include "MORAVEX1_h.h"
#include "bstr.h"
#include "chart_service_control.h"
#include "control_factory.h"
#include "control_test_support.h"
#include "library/module.h"

namespace control_test {
namespace {

using moravex_com::ComPtr;

// The classic ADO _Recordset interface, as Wine's msado15 implements it.
constexpr IID kAdoRecordset = {0x0000050E, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

BSTR B(const wchar_t* text) { return SysAllocString(text); }

struct ErrorTexts {
  std::wstring source;
  std::wstring description;
};

ErrorTexts TakeErrorInfo() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) != S_OK) return {};
  BSTR source = nullptr;
  BSTR description = nullptr;
  info->GetSource(&source);
  info->GetDescription(&description);
  ErrorTexts texts{source ? source : L"", description ? description : L""};
  SysFreeString(source);
  SysFreeString(description);
  return texts;
}

class ControlTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0, ModuleLockCount());
    ASSERT_EQ(S_OK, moravex_control::ChartServiceControl::Create(MakeTestComponents(parts_), IID__ChartServiceClient,
                                                                 control_.PutVoid()));
  }
  void TearDown() override {
    control_.Reset();
    EXPECT_EQ(0, ModuleLockCount());
  }

  ComPtr<RecordingSink> Advise(DWORD* cookie = nullptr) {
    ComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(S_OK, control_.As(container));
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(S_OK, container->FindConnectionPoint(DIID___ChartServiceClient, point.Put()));
    auto sink = ComPtr<RecordingSink>::Attach(new RecordingSink());
    DWORD local = 0;
    EXPECT_EQ(S_OK, point->Advise(sink->Identity(), cookie ? cookie : &local));
    return sink;
  }
  ComPtr<IConnectionPoint> Point() {
    ComPtr<IConnectionPointContainer> container;
    control_.As(container);
    ComPtr<IConnectionPoint> point;
    container->FindConnectionPoint(DIID___ChartServiceClient, point.Put());
    return point;
  }

  void ConnectAndLogIn() {
    BSTR host = B(L"chart.example");
    ASSERT_EQ(S_OK, control_->Connect(host, 4000));
    SysFreeString(host);
    parts_.socket->FireConnect();
    Login();
    parts_.socket->Arrive(Frame(1, Long(0) + "OK"));
  }
  void Login() {
    BSTR user = SysAllocString(std::wstring(36, L'u').c_str());
    BSTR password = SysAllocString(std::wstring(36, L'p').c_str());
    BSTR cookie = B(L"");
    ASSERT_EQ(S_OK, control_->Login(user, password, cookie));
    SysFreeString(user);
    SysFreeString(password);
    SysFreeString(cookie);
  }
  template <class Method>
  void Ticker(Method method) {
    BSTR ticker = B(L"ABC");
    ASSERT_EQ(S_OK, (control_.Get()->*method)(ticker));
    SysFreeString(ticker);
  }
  void RequestFullData() {
    BSTR ticker = B(L"ABC");
    ASSERT_EQ(S_OK, control_->GetFullPriceChannelData(ticker, 100));
    SysFreeString(ticker);
  }

  FakeParts parts_;
  ComPtr<_ChartServiceClient> control_;
};

TEST_F(ControlTest, OneIdentityDescribesTheClassAndPersistsNothing) {
  ComPtr<IUnknown> identity;
  ASSERT_EQ(S_OK, control_.As(identity));
  const IID interfaces[] = {__uuidof(IDispatch),          IID__ChartServiceClient,
                            __uuidof(IConnectionPointContainer), __uuidof(IProvideClassInfo),
                            __uuidof(IProvideClassInfo2), __uuidof(ISupportErrorInfo),
                            __uuidof(IOleObject),         __uuidof(IOleControl),
                            __uuidof(IOleWindow),         __uuidof(IOleInPlaceObject),
                            __uuidof(IOleInPlaceActiveObject), __uuidof(IViewObject),
                            __uuidof(IViewObject2),       __uuidof(IPersist),
                            __uuidof(IPersistStreamInit), __uuidof(IPersistPropertyBag),
                            __uuidof(IPersistStorage)};
  for (const IID& iid : interfaces) {
    ComPtr<IUnknown> facet;
    ASSERT_EQ(S_OK, control_->QueryInterface(iid, facet.PutVoid()));
    ComPtr<IUnknown> back;
    ASSERT_EQ(S_OK, facet.As(back));
    EXPECT_EQ(identity.Get(), back.Get());
  }

  ComPtr<IProvideClassInfo2> class_info;
  ASSERT_EQ(S_OK, control_.As(class_info));
  GUID guid{};
  EXPECT_EQ(S_OK, class_info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid));
  EXPECT_EQ(DIID___ChartServiceClient, guid);
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(S_OK, class_info->GetClassInfo(coclass.Put()));
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attributes));
  EXPECT_EQ(CLSID_ChartServiceClient, attributes->guid);
  coclass->ReleaseTypeAttr(attributes);

  ComPtr<ISupportErrorInfo> error_info;
  ASSERT_EQ(S_OK, control_.As(error_info));
  EXPECT_EQ(S_OK, error_info->InterfaceSupportsErrorInfo(IID__ChartServiceClient));
  EXPECT_EQ(S_FALSE, error_info->InterfaceSupportsErrorInfo(__uuidof(IOleObject)));

  ComPtr<IOleObject> ole;
  ASSERT_EQ(S_OK, control_.As(ole));
  DWORD status = 0;
  EXPECT_EQ(S_OK, ole->GetMiscStatus(DVASPECT_CONTENT, &status));
  EXPECT_EQ(0x20591u, status);
  SIZEL extent{};
  EXPECT_EQ(S_OK, ole->GetExtent(DVASPECT_CONTENT, &extent));
  EXPECT_EQ(9631, extent.cx);  // 5460 twips
  EXPECT_EQ(1349, extent.cy);  // 765 twips
  SIZEL resized{2000, 500};
  EXPECT_EQ(S_OK, ole->SetExtent(DVASPECT_CONTENT, &resized));
  ComPtr<IViewObject2> view;
  ASSERT_EQ(S_OK, control_.As(view));
  EXPECT_EQ(S_OK, view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &extent));
  EXPECT_EQ(2000, extent.cx);
  CLSID clsid{};
  EXPECT_EQ(S_OK, ole->GetUserClassID(&clsid));
  EXPECT_EQ(CLSID_ChartServiceClient, clsid);

  // Whatever the host loads or saves, the time-outs stay at 5000.
  ComPtr<IPersistStreamInit> stream;
  ComPtr<IPersistPropertyBag> bag;
  ComPtr<IPersistStorage> storage;
  ASSERT_EQ(S_OK, control_.As(stream));
  ASSERT_EQ(S_OK, control_.As(bag));
  ASSERT_EQ(S_OK, control_.As(storage));
  EXPECT_EQ(S_OK, stream->InitNew());
  EXPECT_EQ(S_OK, stream->Load(nullptr));
  EXPECT_EQ(S_OK, bag->Load(nullptr, nullptr));
  EXPECT_EQ(S_OK, storage->Load(nullptr));
  EXPECT_EQ(S_FALSE, stream->IsDirty());
  EXPECT_EQ(S_OK, stream->GetClassID(&clsid));
  EXPECT_EQ(CLSID_ChartServiceClient, clsid);
  LONG a = 0, b = 0, c = 0;
  EXPECT_EQ(S_OK, control_->get_LoginAndConnectTimeout(&a));
  EXPECT_EQ(S_OK, control_->get_DataRequestTimeout(&b));
  EXPECT_EQ(S_OK, control_->get_SessionInfoTimeout(&c));
  EXPECT_EQ(5000, a);
  EXPECT_EQ(5000, b);
  EXPECT_EQ(5000, c);

  ComPtr<IUnknown> aggregated;
  EXPECT_EQ(CLASS_E_NOAGGREGATION,
            CreateChartServiceClient(identity.Get(), __uuidof(IUnknown), aggregated.PutVoid()));
  EXPECT_FALSE(aggregated);
}

TEST_F(ControlTest, LateBindingReachesTheMembersByNameAndDispid) {
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(S_OK, control_.As(dispatch));
  const struct {
    const wchar_t* name;
    DISPID id;
  } members[] = {{L"LoginAndConnectTimeout", 0x68030002}, {L"SessionInfoTimeout", 0x68030000},
                 {L"Connect", 0x60030003},                {L"GetPreviousSessionsSupportAndResistancePrices", 0x60030012}};
  for (const auto& member : members) {
    LPOLESTR name = const_cast<LPOLESTR>(member.name);
    DISPID id = 0;
    EXPECT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id)) << member.name;
    EXPECT_EQ(member.id, id) << member.name;
  }

  VARIANT value;
  VariantInit(&value);
  value.vt = VT_I2;  // coerced to Long by the type library
  value.iVal = 1234;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS put{&value, &named, 1, 1};
  EXPECT_EQ(S_OK, dispatch->Invoke(0x68030001, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr));
  LONG timeout = 0;
  EXPECT_EQ(S_OK, control_->get_DataRequestTimeout(&timeout));
  EXPECT_EQ(1234, timeout);

  VARIANT result;
  VariantInit(&result);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(S_OK, dispatch->Invoke(0x60030004, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr));
  EXPECT_EQ(VT_BOOL, result.vt);
  EXPECT_EQ(VARIANT_FALSE, result.boolVal);
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
            dispatch->Invoke(0x60030099, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr));
}

TEST_F(ControlTest, FailuresReachBothKindsOfCallerWithNumberSourceAndDescription) {
  // Vtable caller: the HRESULT and the thread's error info.
  EXPECT_EQ(static_cast<HRESULT>(0x80040000), control_->Disconnect());
  ErrorTexts texts = TakeErrorInfo();
  EXPECT_EQ(L"ChartServiceClient:Disconnect", texts.source);
  EXPECT_EQ(L"Not connected", texts.description);

  // Late-bound caller: DISP_E_EXCEPTION with the same three in EXCEPINFO.
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(S_OK, control_.As(dispatch));
  VARIANT message;
  VariantInit(&message);
  message.vt = VT_BSTR;
  message.bstrVal = B(L"hello");
  DISPPARAMS params{&message, nullptr, 1, 0};
  EXCEPINFO exception{};
  EXPECT_EQ(DISP_E_EXCEPTION,
            dispatch->Invoke(0x60030008, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, &exception, nullptr));
  EXPECT_EQ(static_cast<HRESULT>(0x80040000), exception.scode);
  EXPECT_STREQ(L"ChartServiceClient:SendDbgMsg", exception.bstrSource);
  EXPECT_STREQ(L"Not connected", exception.bstrDescription);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  VariantClear(&message);

  // A time-out property passes its timer's own error through.
  parts_.data_timer->Refuse();
  EXPECT_EQ(static_cast<HRESULT>(0x800A017C), control_->put_DataRequestTimeout(1));
  texts = TakeErrorInfo();
  EXPECT_EQ(L"tmrDataRequestTimeout", texts.source);
  EXPECT_EQ(L"Invalid property value", texts.description);

  // A wrong-state check reports its own number and the method's source.
  BSTR host = B(L"chart.example");
  ASSERT_EQ(S_OK, control_->Connect(host, 4000));
  parts_.socket->FireConnect();
  EXPECT_EQ(static_cast<HRESULT>(0x80040006), control_->Connect(host, 4000));
  SysFreeString(host);
  EXPECT_EQ(L"ChartServiceClient:Connect", TakeErrorInfo().source);
}

TEST_F(ControlTest, EveryEventFiresByItsDispidWithTheDeclaredTypes) {
  ComPtr<RecordingSink> sink = Advise();
  BSTR host = B(L"chart.example");
  ASSERT_EQ(S_OK, control_->Connect(host, 4000));
  parts_.socket->FireConnect();                                   // Connected
  Login();
  parts_.socket->Arrive(Frame(1, Long(7) + "Refused"));           // LoginFailed
  Login();
  parts_.socket->Arrive(Frame(1, Long(0) + "OK"));                // LoggedIn
  parts_.socket->Arrive(Frame(0, "debug"));                       // GotDebugMessage
  ASSERT_EQ(S_OK, control_->GetSessionDateTime());
  parts_.socket->Arrive(Frame(2, "12/08/2026 10:00:00"));         // GotSessionDateTime
  ASSERT_EQ(S_OK, control_->GetSessionDate());
  parts_.socket->Arrive(Frame(3, "12/08/2026"));                  // GotSessionDate
  ASSERT_EQ(S_OK, control_->GetSessionTime());
  parts_.socket->Arrive(Frame(4, "10:00:00"));                    // GotSessionTime
  ASSERT_EQ(S_OK, control_->GetSessionTime());
  parts_.session_timer->Tick();                                   // Timeout
  RequestFullData();
  parts_.socket->Arrive(Frame(5, std::string("10:00:00") + Single(1) + Single(2) + Single(3) + Single(4)));
  BSTR ticker = B(L"ABC");
  BSTR stamp = B(L"12/8/2026");
  ASSERT_EQ(S_OK, control_->GetPriceChannelDataUpdates(ticker, stamp));
  parts_.socket->Arrive(Frame(6, ""));                            // GotVantrelDataUpdates
  Ticker(&_ChartServiceClient::GetPreviousSessionsSupportAndResistancePrices);
  parts_.socket->Arrive(Frame(11, Single(1.5f) + Single(2.5f) + Single(-3.5f) + Single(4.25f)));
  Ticker(&_ChartServiceClient::GetPreviousSessionsLastAverageVantrelPrice);
  parts_.socket->Arrive(Frame(7, Single(0.5f)));
  Ticker(&_ChartServiceClient::GetPreviousSessionsHighPrice);
  parts_.socket->Arrive(Frame(8, Single(8.0f)));
  Ticker(&_ChartServiceClient::GetPreviousSessionsLowPrice);
  parts_.socket->Arrive(Frame(9, Single(9.0f)));
  Ticker(&_ChartServiceClient::GetPreviousSessionsClosingPrice);
  parts_.socket->Arrive(Frame(10, Single(10.0f)));
  RequestFullData();
  sink->on_event = [&](DISPID id, DISPPARAMS* params) {
    if (id != 11) return;
    // The host leaves an object of another kind in the argument.
    IDispatch** slot = params->rgvarg[0].ppdispVal;
    (*slot)->Release();
    *slot = static_cast<IDispatch*>(sink.Get());
    sink->AddRef();
  };
  parts_.socket->Arrive(Frame(5, ""));                            // GotFullVantrelData, then Error
  sink->on_event = nullptr;
  parts_.socket->FirePeerClose();                                 // Disconnected
  ASSERT_EQ(S_OK, control_->Connect(host, 4000));
  parts_.socket->FireError(u"refused");                           // ConnectionFailed
  SysFreeString(host);
  SysFreeString(ticker);
  SysFreeString(stamp);

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
      {11, {kObject}, {}},
      {12, {kObject}, {}},
      {18, {VT_R4, VT_R4, VT_R4, VT_R4}, {L"1.5", L"2.5", L"-3.5", L"4.25"}},
      {14, {VT_R4}, {L"0.5"}},
      {15, {VT_R4}, {L"8"}},
      {16, {VT_R4}, {L"9"}},
      {17, {VT_R4}, {L"10"}},
      {11, {kObject}, {}},
      {1, {VT_I4, VT_BSTR}, {L"-2147221500", L"Type mismatch"}},
      {3, {VT_BSTR}, {L"Winsock1_Close"}},
      {4, {}, {}},
  };
  ASSERT_EQ(expected.size(), sink->events.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const Event& seen = sink->events[i];
    EXPECT_EQ(expected[i].id, seen.id) << "event " << i;
    EXPECT_EQ(expected[i].types, seen.types) << "event " << i;
    if (!expected[i].texts.empty()) {
      EXPECT_EQ(expected[i].texts, seen.texts) << "event " << i;
    }
  }
}

TEST_F(ControlTest, PriceChannelArgumentHoldsARecordsetTheHostMayKeepOrClear) {
  ComPtr<RecordingSink> sink = Advise();
  ConnectAndLogIn();
  ComPtr<IDispatch> kept;
  sink->on_event = [&](DISPID id, DISPPARAMS* params) {
    if (id != 11) return;
    ASSERT_EQ(VT_BYREF | VT_DISPATCH, params->rgvarg[0].vt);
    IDispatch** slot = params->rgvarg[0].ppdispVal;
    ASSERT_NE(nullptr, *slot);
    ComPtr<IUnknown> recordset;
    EXPECT_EQ(S_OK, (*slot)->QueryInterface(kAdoRecordset, recordset.PutVoid()));
    if (!kept) {
      kept = ComPtr<IDispatch>(*slot);
    } else {
      (*slot)->Release();  // the host clears the argument: no error follows
      *slot = nullptr;
    }
  };
  RequestFullData();
  parts_.socket->Arrive(Frame(5, std::string("10:00:00") + Single(1) + Single(2) + Single(3) + Single(4)));
  RequestFullData();
  parts_.socket->Arrive(Frame(5, ""));
  ASSERT_EQ(4u, sink->events.size());  // Connected, LoggedIn, two data events
  EXPECT_EQ(11, sink->events[3].id);
  // The kept record set outlives the event and the control.
  ASSERT_TRUE(kept);
  control_.Reset();
  ComPtr<IUnknown> recordset;
  EXPECT_EQ(S_OK, kept->QueryInterface(kAdoRecordset, recordset.PutVoid()));
}

TEST_F(ControlTest, SeveralSinksAndUnadviseAtAnyTimeEvenInsideAnEvent) {
  DWORD first_cookie = 0, second_cookie = 0, third_cookie = 0;
  ComPtr<RecordingSink> first = Advise(&first_cookie);
  ComPtr<RecordingSink> second = Advise(&second_cookie);
  ComPtr<RecordingSink> third = Advise(&third_cookie);
  ComPtr<IConnectionPoint> point = Point();

  ComPtr<IEnumConnections> connections;
  ASSERT_EQ(S_OK, point->EnumConnections(connections.Put()));
  CONNECTDATA data[4] = {};
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, connections->Next(4, data, &fetched));
  ASSERT_EQ(3u, fetched);
  EXPECT_EQ(first_cookie, data[0].dwCookie);
  EXPECT_EQ(third_cookie, data[2].dwCookie);
  for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();
  ComPtr<IEnumConnections> clone;
  ASSERT_EQ(S_OK, connections->Reset());
  ASSERT_EQ(S_OK, connections->Skip(2));
  ASSERT_EQ(S_OK, connections->Clone(clone.Put()));
  EXPECT_EQ(S_OK, clone->Next(1, data, nullptr));
  EXPECT_EQ(third_cookie, data[0].dwCookie);
  data[0].pUnk->Release();

  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(S_OK, control_.As(container));
  ComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(S_OK, container->EnumConnectionPoints(points.Put()));
  IConnectionPoint* listed[2] = {};
  EXPECT_EQ(S_FALSE, points->Next(2, listed, &fetched));
  ASSERT_EQ(1u, fetched);
  IID iid{};
  EXPECT_EQ(S_OK, listed[0]->GetConnectionInterface(&iid));
  EXPECT_EQ(DIID___ChartServiceClient, iid);
  listed[0]->Release();
  ComPtr<IConnectionPoint> unknown;
  EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(IID__ChartServiceClient, unknown.Put()));

  // The first sink drops itself and the second while handling Connected:
  // the second no longer hears it, the third does.
  first->on_event = [&](DISPID, DISPPARAMS*) {
    EXPECT_EQ(S_OK, point->Unadvise(second_cookie));
    EXPECT_EQ(S_OK, point->Unadvise(first_cookie));
  };
  BSTR host = B(L"chart.example");
  ASSERT_EQ(S_OK, control_->Connect(host, 4000));
  SysFreeString(host);
  parts_.socket->FireConnect();
  EXPECT_EQ(1u, first->events.size());
  EXPECT_EQ(0u, second->events.size());
  EXPECT_EQ(1u, third->events.size());
  EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(second_cookie));
  parts_.socket->FirePeerClose();
  EXPECT_EQ(1u, first->events.size());
  EXPECT_EQ(2u, third->events.size());
}

TEST_F(ControlTest, TheHostMayReleaseTheControlInsideAnEvent) {
  ComPtr<RecordingSink> releasing = Advise();
  ComPtr<RecordingSink> later = Advise();
  ConnectAndLogIn();
  RequestFullData();
  // The host drops its last reference and leaves a foreign object behind:
  // the control lives on until the core has finished the notification, so
  // both sinks hear the data event and the Error after it; then the module
  // is free.
  releasing->on_event = [&](DISPID id, DISPPARAMS* params) {
    if (id != 11) return;
    IDispatch** slot = params->rgvarg[0].ppdispVal;
    (*slot)->Release();
    *slot = static_cast<IDispatch*>(releasing.Get());
    releasing->AddRef();
    control_.Reset();
    EXPECT_NE(0, ModuleLockCount());
  };
  parts_.socket->Arrive(Frame(5, ""));
  ASSERT_FALSE(control_);
  for (RecordingSink* sink : {releasing.Get(), later.Get()}) {
    ASSERT_EQ(4u, sink->events.size());  // Connected, LoggedIn, data, Error
    EXPECT_EQ(11, sink->events[2].id);
    EXPECT_EQ(1, sink->events[3].id);
  }
  EXPECT_EQ(0, ModuleLockCount());
}

// Draws at 364 x 51 pixels: the panel's 5460 x 765 twips at 96 dpi.
constexpr LONG kWidth = 364;
constexpr LONG kHeight = 51;
constexpr uint32_t kBackground = 0x00FF00FF;

uint32_t Rgb(COLORREF color) { return (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color); }

TEST_F(ControlTest, OnlyADesignerSeesThePanel) {
  ComPtr<IOleObject> ole;
  ASSERT_EQ(S_OK, control_.As(ole));
  ComPtr<IViewObject> view;
  ASSERT_EQ(S_OK, control_.As(view));
  auto site = ComPtr<TestSite>::Attach(new TestSite());
  site->user_mode = false;
  ASSERT_EQ(S_OK, ole->SetClientSite(site.Get()));

  const std::vector<uint32_t> design = DrawToPixels(view.Get(), kWidth, kHeight, kBackground);
  ASSERT_EQ(size_t(kWidth * kHeight), design.size());
  WriteBmp(L"design_time.bmp", design, kWidth, kHeight);
  const uint32_t face = Rgb(GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(face, design[kWidth * (kHeight - 2) + kWidth - 2]);  // panel corner
  // Label1 (4..93 x 4..49 px) holds text pixels in the text colour.
  const uint32_t text = Rgb(GetSysColor(COLOR_BTNTEXT));
  int label_text = 0, icon_lines = 0;
  for (LONG y = 4; y < 49; ++y) {
    for (LONG x = 4; x < 93; ++x) label_text += design[y * kWidth + x] == text;
    for (LONG x = 100; x < 260; ++x) icon_lines += design[y * kWidth + x] == text;
  }
  EXPECT_GT(label_text, 20);
  EXPECT_GT(icon_lines, 40);
  for (uint32_t pixel : design) ASSERT_NE(kBackground, pixel);

  // The ambient change reaches the control: in a running host nothing is drawn.
  site->user_mode = true;
  ComPtr<IOleControl> control;
  ASSERT_EQ(S_OK, control_.As(control));
  EXPECT_EQ(S_OK, control->OnAmbientPropertyChange(DISPID_AMBIENT_USERMODE));
  std::vector<uint32_t> running = DrawToPixels(view.Get(), kWidth, kHeight, kBackground);
  EXPECT_EQ(std::vector<uint32_t>(kWidth * kHeight, kBackground), running);

  // A site without ambient properties is a running host too.
  site->ambient = false;
  site->user_mode = false;
  EXPECT_EQ(S_OK, control->OnAmbientPropertyChange(DISPID_UNKNOWN));
  running = DrawToPixels(view.Get(), kWidth, kHeight, kBackground);
  EXPECT_EQ(std::vector<uint32_t>(kWidth * kHeight, kBackground), running);

  // Activation without a window or user interface, and back.
  EXPECT_EQ(S_OK, ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.Get(), 0, nullptr, nullptr));
  EXPECT_EQ(1, site->activations);
  ComPtr<IOleInPlaceObject> in_place;
  ASSERT_EQ(S_OK, control_.As(in_place));
  HWND window = nullptr;
  EXPECT_EQ(E_FAIL, in_place->GetWindow(&window));
  EXPECT_EQ(S_OK, ole->DoVerb(OLEIVERB_HIDE, nullptr, site.Get(), 0, nullptr, nullptr));
  EXPECT_EQ(0, site->activations);
  EXPECT_EQ(S_OK, ole->Close(OLECLOSE_NOSAVE));
  EXPECT_EQ(S_OK, ole->SetClientSite(nullptr));
}

}  // namespace
}  // namespace control_test
