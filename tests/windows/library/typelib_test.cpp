// Reads the type library back from the built MORAVEX1.ocx and compares it,
// item by item, with the surface hosts bind to: each item is rendered as one
// line of text and compared with the expected line.
#include "windows/com/windows_headers.h"
#include <gtest/gtest.h>
#include <oleauto.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/windows/library/library_test.h"
#include "registration_table.h"

namespace {

using Lines = std::vector<std::wstring>;

// Pinned for good: hosts bind to these. LIBID, CLSID, IID, DIID, ErrorIDs, TimeoutTypes.
const Lines kTypeInfos = {
    // The dispatch view of the dual interface: hidden, dual, non-extensible, dispatchable.
    L"_ChartServiceClient dispatch {EB60BA11-9E87-41C3-AAED-A7AC39ECEC52} 1.0 flags 10d0",
    L"ChartServiceClient coclass {86AE8C0B-E840-47D1-89CC-59F9F1FDEDF1} 1.0 flags 20",
    L"__ChartServiceClient dispatch {B76942EA-9C3C-4F43-B3FA-255B957399F2} 1.0 flags 1090",
    L"ErrorIDs enum {D85AF2BB-80F9-4B34-99D6-32B4F202D8DE} 0.0 flags 0",
    L"TimeoutTypes enum {B34B386E-8E58-4657-A625-2F476D8E8244} 0.0 flags 0",
};
const wchar_t kLibrary[] = L"MORAVEX1 {AE10CCB6-A2A0-4B74-A860-D060BA519A3A} 6.0 lcid 0 flags 2 \"Korvane SDK 1.1\"";

// Vtable half of the dual interface: DISPID, kind, name(params), result, slot.
const Lines kInterface = {
    L"68030002 put LoginAndConnectTimeout([in] I4) HRESULT #7",
    L"68030002 get LoginAndConnectTimeout([out,retval] PTR(I4)) HRESULT #8",
    L"68030001 put DataRequestTimeout([in] I4) HRESULT #9",
    L"68030001 get DataRequestTimeout([out,retval] PTR(I4)) HRESULT #10",
    L"68030000 put SessionInfoTimeout([in] I4) HRESULT #11",
    L"68030000 get SessionInfoTimeout([out,retval] PTR(I4)) HRESULT #12",
    L"60030003 func Connect([in] BSTR ServerName, [in] I4 ServerPort) HRESULT #13",
    L"60030004 func Connected([out,retval] PTR(BOOL)) HRESULT #14",
    L"60030005 func LoggedIn([out,retval] PTR(BOOL)) HRESULT #15",
    L"60030006 func Disconnect() HRESULT #16",
    L"60030007 func Login([in] BSTR UserID, [in] BSTR Password, [in] BSTR LoginCookie) HRESULT #17",
    L"60030008 func SendDebugMessage([in] BSTR Message) HRESULT #18",
    L"60030009 func GetPriceChannelDataUpdates([in] BSTR Ticker, [in] BSTR LastReceivedTimeStamp) HRESULT #19",
    L"6003000a func GetFullPriceChannelData([in] BSTR Ticker, [in] I4 MaxChartPixels) HRESULT #20",
    L"6003000b func GetSessionTime() HRESULT #21",
    L"6003000c func GetSessionDate() HRESULT #22",
    L"6003000d func GetSessionDateTime() HRESULT #23",
    L"6003000e func GetPreviousSessionsLastAverageVantrelPrice([in] BSTR Ticker) HRESULT #24",
    L"6003000f func GetPreviousSessionsHighPrice([in] BSTR Ticker) HRESULT #25",
    L"60030010 func GetPreviousSessionsLowPrice([in] BSTR Ticker) HRESULT #26",
    L"60030011 func GetPreviousSessionsClosingPrice([in] BSTR Ticker) HRESULT #27",
    L"60030012 func GetPreviousSessionsSupportAndResistancePrices([in] BSTR Ticker) HRESULT #28",
};

const Lines kEvents = {
    L"1 func Error([in] I4 ErrorID, [in] BSTR ErrorDescription) VOID",
    L"2 func Connected() VOID",
    L"3 func Disconnected([in] BSTR strReason) VOID",
    L"4 func ConnectionFailed() VOID",
    L"5 func LoggedIn() VOID",
    L"6 func LoginFailed([in] I4 ErrorID, [in] BSTR ErrorDescription) VOID",
    L"7 func GotDebugMessage([in] BSTR DebugMessage) VOID",
    L"8 func GotSessionDateTime([in] BSTR CurrentSessionDateTime) VOID",
    L"9 func GotSessionDate([in] BSTR CurrentSessionDate) VOID",
    L"a func GotSessionTime([in] BSTR CurrentSessionTime) VOID",
    L"d func Timeout([in] I4 CommandType) VOID",
    L"b func GotFullVantrelData([in,out] PTR(DISPATCH) PriceChannelData) VOID",
    L"c func GotVantrelDataUpdates([in,out] PTR(DISPATCH) PriceChannelData) VOID",
    L"12 func GotPreviousSessionsSupportAndResistancePrices([in] R4 PreviousSessionsLastAverageVantrelPrice, "
    L"[in] R4 PreviousSessionsHighPrice, [in] R4 PreviousSessionsLowPrice, [in] R4 PreviousSessionsClosingPrice) VOID",
    L"e func GotPreviousSessionsLastAverageVantrelPrice([in] R4 PreviousSessionsLastAverageVantrelPrice) VOID",
    L"f func GotPreviousSessionsHighPrice([in] R4 PreviousSessionsHighPrice) VOID",
    L"10 func GotPreviousSessionsLowPrice([in] R4 PreviousSessionsLowPrice) VOID",
    L"11 func GotPreviousSessionsClosingPrice([in] R4 PreviousSessionsClosingPrice) VOID",
};

// Constant = value "help string".
const Lines kErrorIds = {
    L"NotConnected = -2147221504 \"NotConnected\"",
    L"InvalidUidAndPwCombination = -2147221503 \"InvalidUidAndPwCombination\"",
    L"InvalidTicker = -2147221502 \"InvalidTicker\"",
    L"InvalidDate = -2147221501 \"InvalidDate\"",
    L"InternalError = -2147221500 \"InternalError\"",
    L"NotLoggedIn = -2147221499 \"NotLoggedIn\"",
    L"AlreadyConnected = -2147221498 \"AlreadyConnected\"",
    L"AlreadyLoggedIn = -2147221497 \"AlreadyLoggedIn\"",
    L"RequestAlreadyPending = -2147221496 \"RequestAlreadyPending\"",
};
const Lines kTimeoutTypes = {
    L"ConnectTimeout = 0 \"ConnectTimeout\"",
    L"LoginTimeout = 1 \"LoginTimeout\"",
    L"FullDataRequestTimeout = 2 \"FullDataRequestTimeout\"",
    L"DataUpdatesTimeout = 3 \"DataUpdatesTimeout\"",
    L"SessionDateTimeTimeout = 4 \"SessionDateTimeTimeout\"",
    L"SessionDateTimeout = 5 \"SessionDateTimeout\"",
    L"SessionTimeTimeout = 6 \"SessionTimeTimeout\"",
    L"PreviousSessionsLastAverageVantrelPriceTimeout = 7 \"PreviousSessionsLastAverageVantrelPriceTimeout\"",
    L"PreviousSessionsHighPriceTimeout = 8 \"PreviousSessionsHighPriceTimeout\"",
    L"PreviousSessionsLowPriceTimeout = 9 \"PreviousSessionsLowPriceTimeout\"",
    L"PreviousSessionsClosingPriceTimeout = 10 \"PreviousSessionsClosingPriceTimeout\"",
    L"PreviousSessionsSupportAndResistancePricesTimeout = 11 \"PreviousSessionsSupportAndResistancePricesTimeout\"",
};

std::wstring Take(BSTR text) {
  std::wstring result = text ? std::wstring(text, SysStringLen(text)) : L"";
  SysFreeString(text);
  return result;
}

std::wstring Guid(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring Type(const TYPEDESC& type) {
  switch (type.vt) {
    case VT_PTR: return L"PTR(" + Type(*type.lptdesc) + L")";
    case VT_I4: return L"I4";
    case VT_R4: return L"R4";
    case VT_BSTR: return L"BSTR";
    case VT_BOOL: return L"BOOL";
    case VT_DISPATCH: return L"DISPATCH";
    case VT_HRESULT: return L"HRESULT";
    case VT_VOID: return L"VOID";
    default: return L"VT" + std::to_wstring(type.vt);
  }
}

std::wstring ParamFlags(USHORT flags) {
  switch (flags) {
    case PARAMFLAG_FIN: return L"[in]";
    case PARAMFLAG_FIN | PARAMFLAG_FOUT: return L"[in,out]";
    case PARAMFLAG_FOUT | PARAMFLAG_FRETVAL: return L"[out,retval]";
    default: return L"[" + std::to_wstring(flags) + L"]";
  }
}

// One line per function; anything but a plain stdcall member without
// function flags or optional parameters shows up as extra text.
Lines Functions(ITypeInfo* info, FUNCKIND funckind, bool with_slot) {
  TYPEATTR* attr = nullptr;
  EXPECT_EQ(info->GetTypeAttr(&attr), S_OK);
  const UINT count = attr ? attr->cFuncs : 0;
  if (attr) info->ReleaseTypeAttr(attr);
  Lines lines;
  for (UINT i = 0; i < count; ++i) {
    FUNCDESC* func = nullptr;
    if (info->GetFuncDesc(i, &func) != S_OK) break;
    BSTR names[8] = {};
    UINT named = 0;
    info->GetNames(func->memid, names, 8, &named);
    std::wostringstream line;
    line << std::hex << func->memid << L' '
         << (func->invkind == INVOKE_PROPERTYPUT   ? L"put"
             : func->invkind == INVOKE_PROPERTYGET ? L"get"
                                                   : L"func")
         << L' ' << Take(names[0]) << L'(';
    for (SHORT p = 0; p < func->cParams; ++p) {
      const ELEMDESC& param = func->lprgelemdescParam[p];
      line << (p ? L", " : L"") << ParamFlags(param.paramdesc.wParamFlags) << L' ' << Type(param.tdesc);
      if (static_cast<UINT>(p) + 1 < named) line << L' ' << Take(names[p + 1]);
    }
    line << L") " << Type(func->elemdescFunc.tdesc) << std::dec;
    if (with_slot) line << L" #" << func->oVft / static_cast<SHORT>(sizeof(void*));
    if (func->funckind != funckind || func->callconv != CC_STDCALL || func->wFuncFlags || func->cParamsOpt)
      line << L" kind " << func->funckind << L" cc " << func->callconv << L" flags " << func->wFuncFlags;
    for (UINT n = static_cast<UINT>(func->cParams) + 1; n < named; ++n) line << L" extra name " << Take(names[n]);
    lines.push_back(line.str());
    info->ReleaseFuncDesc(func);
  }
  return lines;
}

Lines Constants(ITypeInfo* info) {
  TYPEATTR* attr = nullptr;
  EXPECT_EQ(info->GetTypeAttr(&attr), S_OK);
  const UINT count = attr ? attr->cVars : 0;
  if (attr) info->ReleaseTypeAttr(attr);
  Lines lines;
  for (UINT i = 0; i < count; ++i) {
    VARDESC* var = nullptr;
    if (info->GetVarDesc(i, &var) != S_OK) break;
    BSTR name = nullptr, help = nullptr;
    info->GetDocumentation(var->memid, &name, &help, nullptr, nullptr);
    std::wostringstream line;
    line << Take(name) << L" = ";
    if (var->varkind == VAR_CONST && V_VT(var->lpvarValue) == VT_I4)
      line << V_I4(var->lpvarValue);
    else
      line << L"? kind " << var->varkind;
    line << L" \"" << Take(help) << L'"';
    lines.push_back(line.str());
    info->ReleaseVarDesc(var);
  }
  return lines;
}

class TypeLibTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LoadTypeLibEx(OcxPath().c_str(), REGKIND_NONE, &lib), S_OK);
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
      infos.emplace_back();
      ASSERT_EQ(lib->GetTypeInfo(i, &infos.back()), S_OK);
    }
    ASSERT_EQ(infos.size(), kTypeInfos.size());
  }
  void TearDown() override {
    for (ITypeInfo* info : infos) info->Release();
    if (lib) lib->Release();
  }
  // The type info an implemented type refers to (index -1: the dual's vtable half).
  static ITypeInfo* Implemented(ITypeInfo* info, UINT index) {
    HREFTYPE ref = 0;
    ITypeInfo* implemented = nullptr;
    EXPECT_EQ(info->GetRefTypeOfImplType(index, &ref), S_OK);
    EXPECT_EQ(info->GetRefTypeInfo(ref, &implemented), S_OK);
    return implemented;
  }
  ITypeLib* lib = nullptr;
  std::vector<ITypeInfo*> infos;
};

TEST_F(TypeLibTest, LibraryAndTypeInfosInOrder) {
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
  BSTR name = nullptr, help = nullptr;
  ASSERT_EQ(lib->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
  std::wostringstream library;
  library << Take(name) << L' ' << Guid(attr->guid) << L' ' << attr->wMajorVerNum << L'.' << attr->wMinorVerNum
          << L" lcid " << attr->lcid << L" flags " << (attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE) << L" \"" << Take(help)
          << L'"';
  EXPECT_EQ(library.str(), kLibrary);
  EXPECT_EQ(attr->syskind, OcxBits() == 64 ? SYS_WIN64 : SYS_WIN32);
  lib->ReleaseTLibAttr(attr);

  Lines types;
  const wchar_t* kinds[] = {L"enum", L"record", L"module", L"interface", L"dispatch", L"coclass", L"alias", L"union"};
  for (ITypeInfo* info : infos) {
    TYPEATTR* type = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&type), S_OK);
    BSTR type_name = nullptr;
    info->GetDocumentation(MEMBERID_NIL, &type_name, nullptr, nullptr, nullptr);
    std::wostringstream line;
    line << Take(type_name) << L' ' << kinds[type->typekind] << L' ' << Guid(type->guid) << L' ' << type->wMajorVerNum
         << L'.' << type->wMinorVerNum << L" flags " << std::hex << type->wTypeFlags;
    types.push_back(line.str());
    info->ReleaseTypeAttr(type);
  }
  EXPECT_EQ(types, kTypeInfos);
}

TEST_F(TypeLibTest, CoclassSourcesItsEventsAndImplementsTheDualInterface) {
  Lines impls;
  for (UINT i = 0; i < 2; ++i) {
    INT flags = 0;
    EXPECT_EQ(infos[1]->GetImplTypeFlags(i, &flags), S_OK);
    ITypeInfo* implemented = Implemented(infos[1], i);
    ASSERT_NE(implemented, nullptr);
    BSTR name = nullptr;
    implemented->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
    impls.push_back(Take(name) + L" " + std::to_wstring(flags));
    implemented->Release();
  }
  EXPECT_EQ(impls, (Lines{L"_ChartServiceClient 1", L"__ChartServiceClient 3"}));  // default; default source
  INT none = 0;
  EXPECT_EQ(infos[1]->GetImplTypeFlags(2, &none), TYPE_E_ELEMENTNOTFOUND);  // nothing else
}

TEST_F(TypeLibTest, DualInterfaceDerivesFromStdoleIDispatch) {
  ITypeInfo* half = Implemented(infos[0], static_cast<UINT>(-1));
  ASSERT_NE(half, nullptr);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(half->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  EXPECT_EQ(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION, TYPEFLAG_FOLEAUTOMATION);
  half->ReleaseTypeAttr(attr);
  EXPECT_EQ(Functions(half, FUNC_PUREVIRTUAL, true), kInterface);

  ITypeInfo* base = Implemented(half, 0);
  ASSERT_NE(base, nullptr);
  ITypeLib* stdole = nullptr;
  UINT index = 0;
  ASSERT_EQ(base->GetContainingTypeLib(&stdole, &index), S_OK);
  BSTR library = nullptr, name = nullptr;
  stdole->GetDocumentation(-1, &library, nullptr, nullptr, nullptr);
  base->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
  EXPECT_EQ(Take(library) + L"." + Take(name), L"stdole.IDispatch");
  stdole->Release();
  base->Release();
  half->Release();

  // Late binding by name reaches the DISPIDs of the table.
  for (const std::wstring& line : kInterface) {
    std::wstring member = line.substr(line.find(L' ', 9) + 1);
    member.resize(member.find(L'('));
    LPOLESTR names[] = {member.data()};
    MEMBERID id = 0;
    EXPECT_EQ(infos[0]->GetIDsOfNames(names, 1, &id), S_OK) << member;
    EXPECT_EQ(id, static_cast<MEMBERID>(std::wcstoul(line.c_str(), nullptr, 16))) << member;
  }
}

TEST_F(TypeLibTest, EventsInDeclarationOrderWithTheirDispids) {
  EXPECT_EQ(Functions(infos[2], FUNC_DISPATCH, false), kEvents);
}

TEST_F(TypeLibTest, EnumerationConstantsCarryTheirNamesAsHelpStrings) {
  EXPECT_EQ(Constants(infos[3]), kErrorIds);
  EXPECT_EQ(Constants(infos[4]), kTimeoutTypes);
}

}  // namespace

// The registration table writes the type library's keys itself: it must name
// every interface the system's RegisterTypeLib would register (dispinterfaces
// and dual or oleautomation interfaces), with its name, the proxy of its kind
// and this library, and no other.
TEST_F(TypeLibTest, RegistrationTableRegistersEveryAutomationInterface) {
  auto table_value = [](const std::wstring& key, const wchar_t* name) -> std::wstring {
    for (const moravex::windows::RegistrationEntry& entry : moravex::windows::kRegistration)
      if (key == entry.key && entry.value != nullptr && std::wstring(entry.value) == name) return entry.data;
    return L"(none)";
  };
  TLIBATTR* library = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&library), S_OK);
  wchar_t libid[40] = {};
  StringFromGUID2(library->guid, libid, 40);
  lib->ReleaseTLibAttr(library);
  size_t registered = 0;
  for (ITypeInfo* info : infos) {
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    const bool dispatch = attributes->typekind == TKIND_DISPATCH;
    const bool automation = dispatch || (attributes->typekind == TKIND_INTERFACE &&
                                         (attributes->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION)));
    const bool dual = (attributes->wTypeFlags & TYPEFLAG_FDUAL) != 0;
    wchar_t iid[40] = {};
    StringFromGUID2(attributes->guid, iid, 40);
    info->ReleaseTypeAttr(attributes);
    if (!automation) continue;
    ++registered;
    BSTR name = nullptr;
    ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
    const std::wstring key = std::wstring(L"Interface\\") + iid;
    EXPECT_EQ(table_value(key, L""), std::wstring(name));
    SysFreeString(name);
    const std::wstring proxy =
        dual ? L"{00020424-0000-0000-C000-000000000046}" : L"{00020420-0000-0000-C000-000000000046}";
    EXPECT_EQ(table_value(key + L"\\ProxyStubClsid32", L""), proxy) << key;
    EXPECT_EQ(table_value(key + L"\\TypeLib", L""), std::wstring(libid)) << key;
  }
  size_t interface_keys = 0;
  for (const moravex::windows::RegistrationEntry& entry : moravex::windows::kRegistration) {
    const std::wstring key = entry.key;
    if (key.rfind(L"Interface\\", 0) == 0 && key.find(L'\\', 10) == std::wstring::npos) ++interface_keys;
  }
  EXPECT_EQ(interface_keys, registered);
}
