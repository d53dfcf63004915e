// Reads the type library back from the built MORAVEX1.ocx and compares it,
// item by item, with the surface hosts bind to.
#include <winsock2.h>  // before windows.h, as everywhere in the Windows layer
#include <windows.h>
#include <gtest/gtest.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "library_test.h"

namespace {

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kInOut = PARAMFLAG_FIN | PARAMFLAG_FOUT;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
constexpr INVOKEKIND kPut = INVOKE_PROPERTYPUT, kGet = INVOKE_PROPERTYGET, kCall = INVOKE_FUNC;

struct Param {
    std::wstring name;  // empty: unnamed
    std::wstring type;
    USHORT flags;
};
struct Member {
    MEMBERID id;
    INVOKEKIND kind;
    std::wstring name;
    std::vector<Param> params;
};
struct Constant {
    std::wstring name;
    LONG value;
};
struct TypeInfoExpectation {
    std::wstring name;
    TYPEKIND kind;
    GUID guid;
    WORD flags;
    WORD major, minor;
};

// {LIBID, CLSID, IID, DIID, ErrorIDs, TimeoutTypes}: fixed for good, hosts bind to them.
const GUID kLibId = {0xAE10CCB6, 0xA2A0, 0x4B74, {0xA8, 0x60, 0xD0, 0x60, 0xBA, 0x51, 0x9A, 0x3A}};
const GUID kClsid = {0x86AE8C0B, 0xE840, 0x47D1, {0x89, 0xCC, 0x59, 0xF9, 0xF1, 0xFD, 0xED, 0xF1}};
const GUID kIid = {0xEB60BA11, 0x9E87, 0x41C3, {0xAA, 0xED, 0xA7, 0xAC, 0x39, 0xEC, 0xEC, 0x52}};
const GUID kDiid = {0xB76942EA, 0x9C3C, 0x4F43, {0xB3, 0xFA, 0x25, 0x5B, 0x95, 0x73, 0x99, 0xF2}};
const GUID kErrorIds = {0xD85AF2BB, 0x80F9, 0x4B34, {0x99, 0xD6, 0x32, 0xB4, 0xF2, 0x02, 0xD8, 0xDE}};
const GUID kTimeoutTypes = {0xB34B386E, 0x8E58, 0x4657, {0xA6, 0x25, 0x2F, 0x47, 0x6D, 0x8E, 0x82, 0x44}};
const GUID kStdOle = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

const TypeInfoExpectation kTypeInfos[] = {
    {L"_ChartServiceClient", TKIND_DISPATCH, kIid,
     TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE, 1, 0},
    {L"ChartServiceClient", TKIND_COCLASS, kClsid, TYPEFLAG_FCONTROL, 1, 0},
    {L"__ChartServiceClient", TKIND_DISPATCH, kDiid,
     TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE, 1, 0},
    {L"ErrorIDs", TKIND_ENUM, kErrorIds, 0, 0, 0},
    {L"TimeoutTypes", TKIND_ENUM, kTimeoutTypes, 0, 0, 0},
};

const Member kInterface[] = {
    {0x68030002, kPut, L"LoginAndConnectTimeout", {{L"", L"I4", kIn}}},
    {0x68030002, kGet, L"LoginAndConnectTimeout", {{L"", L"PTR(I4)", kRetval}}},
    {0x68030001, kPut, L"DataRequestTimeout", {{L"", L"I4", kIn}}},
    {0x68030001, kGet, L"DataRequestTimeout", {{L"", L"PTR(I4)", kRetval}}},
    {0x68030000, kPut, L"SessionInfoTimeout", {{L"", L"I4", kIn}}},
    {0x68030000, kGet, L"SessionInfoTimeout", {{L"", L"PTR(I4)", kRetval}}},
    {0x60030003, kCall, L"Connect", {{L"ServerName", L"BSTR", kIn}, {L"ServerPort", L"I4", kIn}}},
    {0x60030004, kCall, L"Connected", {{L"", L"PTR(BOOL)", kRetval}}},
    {0x60030005, kCall, L"LoggedIn", {{L"", L"PTR(BOOL)", kRetval}}},
    {0x60030006, kCall, L"Disconnect", {}},
    {0x60030007, kCall, L"Login",
     {{L"UserID", L"BSTR", kIn}, {L"Password", L"BSTR", kIn}, {L"LoginCookie", L"BSTR", kIn}}},
    {0x60030008, kCall, L"SendDebugMessage", {{L"Message", L"BSTR", kIn}}},
    {0x60030009, kCall, L"GetPriceChannelDataUpdates",
     {{L"Ticker", L"BSTR", kIn}, {L"LastReceivedTimeStamp", L"BSTR", kIn}}},
    {0x6003000A, kCall, L"GetFullPriceChannelData", {{L"Ticker", L"BSTR", kIn}, {L"MaxChartPixels", L"I4", kIn}}},
    {0x6003000B, kCall, L"GetSessionTime", {}},
    {0x6003000C, kCall, L"GetSessionDate", {}},
    {0x6003000D, kCall, L"GetSessionDateTime", {}},
    {0x6003000E, kCall, L"GetPreviousSessionsLastAverageVantrelPrice", {{L"Ticker", L"BSTR", kIn}}},
    {0x6003000F, kCall, L"GetPreviousSessionsHighPrice", {{L"Ticker", L"BSTR", kIn}}},
    {0x60030010, kCall, L"GetPreviousSessionsLowPrice", {{L"Ticker", L"BSTR", kIn}}},
    {0x60030011, kCall, L"GetPreviousSessionsClosingPrice", {{L"Ticker", L"BSTR", kIn}}},
    {0x60030012, kCall, L"GetPreviousSessionsSupportAndResistancePrices", {{L"Ticker", L"BSTR", kIn}}},
};

const Member kEvents[] = {
    {1, kCall, L"Error", {{L"ErrorID", L"I4", kIn}, {L"ErrorDescription", L"BSTR", kIn}}},
    {2, kCall, L"Connected", {}},
    {3, kCall, L"Disconnected", {{L"strReason", L"BSTR", kIn}}},
    {4, kCall, L"ConnectionFailed", {}},
    {5, kCall, L"LoggedIn", {}},
    {6, kCall, L"LoginFailed", {{L"ErrorID", L"I4", kIn}, {L"ErrorDescription", L"BSTR", kIn}}},
    {7, kCall, L"GotDebugMessage", {{L"DebugMessage", L"BSTR", kIn}}},
    {8, kCall, L"GotSessionDateTime", {{L"CurrentSessionDateTime", L"BSTR", kIn}}},
    {9, kCall, L"GotSessionDate", {{L"CurrentSessionDate", L"BSTR", kIn}}},
    {10, kCall, L"GotSessionTime", {{L"CurrentSessionTime", L"BSTR", kIn}}},
    {13, kCall, L"Timeout", {{L"CommandType", L"I4", kIn}}},
    {11, kCall, L"GotFullVantrelData", {{L"PriceChannelData", L"PTR(DISPATCH)", kInOut}}},
    {12, kCall, L"GotVantrelDataUpdates", {{L"PriceChannelData", L"PTR(DISPATCH)", kInOut}}},
    {18, kCall, L"GotPreviousSessionsSupportAndResistancePrices",
     {{L"PreviousSessionsLastAverageVantrelPrice", L"R4", kIn},
      {L"PreviousSessionsHighPrice", L"R4", kIn},
      {L"PreviousSessionsLowPrice", L"R4", kIn},
      {L"PreviousSessionsClosingPrice", L"R4", kIn}}},
    {14, kCall, L"GotPreviousSessionsLastAverageVantrelPrice",
     {{L"PreviousSessionsLastAverageVantrelPrice", L"R4", kIn}}},
    {15, kCall, L"GotPreviousSessionsHighPrice", {{L"PreviousSessionsHighPrice", L"R4", kIn}}},
    {16, kCall, L"GotPreviousSessionsLowPrice", {{L"PreviousSessionsLowPrice", L"R4", kIn}}},
    {17, kCall, L"GotPreviousSessionsClosingPrice", {{L"PreviousSessionsClosingPrice", L"R4", kIn}}},
};

const Constant kErrorIdConstants[] = {
    {L"NotConnected", -2147221504},   {L"InvalidUidAndPwCombination", -2147221503},
    {L"InvalidTicker", -2147221502},  {L"InvalidDate", -2147221501},
    {L"InternalError", -2147221500},  {L"NotLoggedIn", -2147221499},
    {L"AlreadyConnected", -2147221498}, {L"AlreadyLoggedIn", -2147221497},
    {L"RequestAlreadyPending", -2147221496},
};
const Constant kTimeoutTypeConstants[] = {
    {L"ConnectTimeout", 0},
    {L"LoginTimeout", 1},
    {L"FullDataRequestTimeout", 2},
    {L"DataUpdatesTimeout", 3},
    {L"SessionDateTimeTimeout", 4},
    {L"SessionDateTimeout", 5},
    {L"SessionTimeTimeout", 6},
    {L"PreviousSessionsLastAverageVantrelPriceTimeout", 7},
    {L"PreviousSessionsHighPriceTimeout", 8},
    {L"PreviousSessionsLowPriceTimeout", 9},
    {L"PreviousSessionsClosingPriceTimeout", 10},
    {L"PreviousSessionsSupportAndResistancePricesTimeout", 11},
};

std::wstring TypeText(const TYPEDESC& type) {
    switch (type.vt) {
        case VT_PTR: return L"PTR(" + TypeText(*type.lptdesc) + L")";
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

std::wstring Text(BSTR text) {
    std::wstring result = text ? std::wstring(text, SysStringLen(text)) : L"";
    SysFreeString(text);
    return result;
}

std::wstring Documentation(ITypeInfo* info, MEMBERID id) {
    BSTR name = nullptr, doc = nullptr;
    EXPECT_EQ(info->GetDocumentation(id, &name, &doc, nullptr, nullptr), S_OK);
    SysFreeString(name);
    return Text(doc);
}

// Compares one function of a type info with its expected member: id, kind,
// names, parameter types and flags; returns the FUNCDESC's vtable offset.
void ExpectMember(ITypeInfo* info, UINT index, const Member& member, FUNCKIND funckind, VARTYPE result) {
    SCOPED_TRACE(testing::Message() << "member " << index);
    FUNCDESC* func = nullptr;
    ASSERT_EQ(info->GetFuncDesc(index, &func), S_OK);
    EXPECT_EQ(func->memid, member.id);
    EXPECT_EQ(func->invkind, member.kind);
    EXPECT_EQ(func->funckind, funckind);
    EXPECT_EQ(func->callconv, CC_STDCALL);
    EXPECT_EQ(func->wFuncFlags, 0);
    EXPECT_EQ(func->cParamsOpt, 0);
    EXPECT_EQ(func->elemdescFunc.tdesc.vt, result);
    BSTR names[8] = {};
    UINT count = 0;
    EXPECT_EQ(info->GetNames(func->memid, names, 8, &count), S_OK);
    std::vector<std::wstring> read_names;
    for (UINT n = 0; n < count; ++n) read_names.push_back(Text(names[n]));
    std::vector<std::wstring> expected_names{member.name};
    for (const Param& param : member.params)
        if (!param.name.empty()) expected_names.push_back(param.name);
    EXPECT_EQ(read_names, expected_names);
    ASSERT_EQ(static_cast<size_t>(func->cParams), member.params.size());
    for (size_t p = 0; p < member.params.size(); ++p) {
        const ELEMDESC& param = func->lprgelemdescParam[p];
        EXPECT_EQ(TypeText(param.tdesc), member.params[p].type) << "param " << p;
        EXPECT_EQ(param.paramdesc.wParamFlags, member.params[p].flags) << "param " << p;
    }
    info->ReleaseFuncDesc(func);
}

void ExpectConstants(ITypeInfo* info, const std::vector<Constant>& constants) {
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    ASSERT_EQ(attr->cVars, constants.size());
    EXPECT_EQ(attr->cFuncs, 0);
    info->ReleaseTypeAttr(attr);
    for (UINT v = 0; v < constants.size(); ++v) {
        SCOPED_TRACE(testing::Message() << "constant " << v);
        VARDESC* var = nullptr;
        ASSERT_EQ(info->GetVarDesc(v, &var), S_OK);
        EXPECT_EQ(var->varkind, VAR_CONST);
        ASSERT_EQ(V_VT(var->lpvarValue), VT_I4);
        EXPECT_EQ(V_I4(var->lpvarValue), constants[v].value);
        BSTR name = nullptr, doc = nullptr;
        EXPECT_EQ(info->GetDocumentation(var->memid, &name, &doc, nullptr, nullptr), S_OK);
        EXPECT_EQ(Text(name), constants[v].name);
        EXPECT_EQ(Text(doc), constants[v].name);
        info->ReleaseVarDesc(var);
    }
}

class TypeLibTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(LoadTypeLibEx(OcxPath().c_str(), REGKIND_NONE, &lib), S_OK);
        for (const TypeInfoExpectation& expected : kTypeInfos) {
            ITypeInfo* info = nullptr;
            ASSERT_EQ(lib->GetTypeInfoOfGuid(expected.guid, &info), S_OK);
            infos.push_back(info);
        }
    }
    void TearDown() override {
        for (ITypeInfo* info : infos) info->Release();
        if (lib) lib->Release();
    }
    // The vtable half of the dual interface.
    ITypeInfo* InterfaceHalf() {
        HREFTYPE ref = 0;
        ITypeInfo* half = nullptr;
        EXPECT_EQ(infos[0]->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
        EXPECT_EQ(infos[0]->GetRefTypeInfo(ref, &half), S_OK);
        return half;
    }
    ITypeLib* lib = nullptr;
    std::vector<ITypeInfo*> infos;
};

TEST_F(TypeLibTest, LibraryAttributesAndTypeInfoOrder) {
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, kLibId));
    EXPECT_EQ(attr->lcid, 0u);
    EXPECT_EQ(attr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    EXPECT_EQ(attr->wMajorVerNum, 6);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, LIBFLAG_FCONTROL);
    lib->ReleaseTLibAttr(attr);
    BSTR name = nullptr, doc = nullptr, help = nullptr;
    ASSERT_EQ(lib->GetDocumentation(-1, &name, &doc, nullptr, &help), S_OK);
    EXPECT_EQ(Text(name), L"MORAVEX1");
    EXPECT_EQ(Text(doc), L"Korvane SDK 1.1");
    EXPECT_EQ(Text(help), L"");

    ASSERT_EQ(lib->GetTypeInfoCount(), std::size(kTypeInfos));
    for (UINT i = 0; i < std::size(kTypeInfos); ++i) {
        const TypeInfoExpectation& expected = kTypeInfos[i];
        SCOPED_TRACE(testing::Message() << "type info " << i);
        BSTR type_name = nullptr, type_doc = nullptr;
        ASSERT_EQ(lib->GetDocumentation(static_cast<INT>(i), &type_name, &type_doc, nullptr, nullptr), S_OK);
        EXPECT_EQ(Text(type_name), expected.name);
        EXPECT_EQ(Text(type_doc), L"");
        TYPEKIND kind{};
        EXPECT_EQ(lib->GetTypeInfoType(i, &kind), S_OK);
        EXPECT_EQ(kind, expected.kind);
        TYPEATTR* type = nullptr;
        ASSERT_EQ(infos[i]->GetTypeAttr(&type), S_OK);
        EXPECT_EQ(type->wTypeFlags, expected.flags);
        EXPECT_EQ(type->wMajorVerNum, expected.major);
        EXPECT_EQ(type->wMinorVerNum, expected.minor);
        infos[i]->ReleaseTypeAttr(type);
    }
}

TEST_F(TypeLibTest, CoclassImplementsDefaultInterfaceAndDefaultSource) {
    ITypeInfo* coclass = infos[1];
    const std::pair<GUID, int> expected[] = {{kIid, IMPLTYPEFLAG_FDEFAULT},
                                             {kDiid, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}};
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->cImplTypes, 2);
    coclass->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < 2; ++i) {
        INT flags = 0;
        HREFTYPE ref = 0;
        ITypeInfo* impl = nullptr;
        EXPECT_EQ(coclass->GetImplTypeFlags(i, &flags), S_OK);
        EXPECT_EQ(flags, expected[i].second);
        ASSERT_EQ(coclass->GetRefTypeOfImplType(i, &ref), S_OK);
        ASSERT_EQ(coclass->GetRefTypeInfo(ref, &impl), S_OK);
        ASSERT_EQ(impl->GetTypeAttr(&attr), S_OK);
        EXPECT_TRUE(IsEqualGUID(attr->guid, expected[i].first)) << i;
        impl->ReleaseTypeAttr(attr);
        impl->Release();
    }
}

TEST_F(TypeLibTest, DualInterfaceMembersInVtableOrder) {
    ITypeInfo* half = InterfaceHalf();
    ASSERT_NE(half, nullptr);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(half->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    EXPECT_TRUE(IsEqualGUID(attr->guid, kIid));
    EXPECT_EQ(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION, TYPEFLAG_FOLEAUTOMATION);
    EXPECT_EQ(attr->cFuncs, std::size(kInterface));
    EXPECT_EQ(attr->cVars, 0);
    half->ReleaseTypeAttr(attr);

    // Derived from stdole's IDispatch.
    HREFTYPE base_ref = 0;
    ITypeInfo* base = nullptr;
    ITypeLib* base_lib = nullptr;
    UINT base_index = 0;
    ASSERT_EQ(half->GetRefTypeOfImplType(0, &base_ref), S_OK);
    ASSERT_EQ(half->GetRefTypeInfo(base_ref, &base), S_OK);
    ASSERT_EQ(base->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID_IDispatch));
    base->ReleaseTypeAttr(attr);
    ASSERT_EQ(base->GetContainingTypeLib(&base_lib, &base_index), S_OK);
    TLIBATTR* base_lib_attr = nullptr;
    ASSERT_EQ(base_lib->GetLibAttr(&base_lib_attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(base_lib_attr->guid, kStdOle));
    base_lib->ReleaseTLibAttr(base_lib_attr);
    base_lib->Release();
    base->Release();

    for (UINT i = 0; i < std::size(kInterface); ++i) {
        ExpectMember(half, i, kInterface[i], FUNC_PUREVIRTUAL, VT_HRESULT);
        FUNCDESC* func = nullptr;
        ASSERT_EQ(half->GetFuncDesc(i, &func), S_OK);
        EXPECT_EQ(func->oVft, static_cast<SHORT>((7 + i) * sizeof(void*))) << i;
        half->ReleaseFuncDesc(func);
        // Late binding by name reaches the same DISPID.
        std::wstring name = kInterface[i].name;
        LPOLESTR names[] = {name.data()};
        MEMBERID id = 0;
        EXPECT_EQ(infos[0]->GetIDsOfNames(names, 1, &id), S_OK);
        EXPECT_EQ(id, kInterface[i].id) << i;
    }
    half->Release();
}

TEST_F(TypeLibTest, EventsInDeclarationOrderWithTheirDispids) {
    ITypeInfo* events = infos[2];
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(events->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->cFuncs, std::size(kEvents));
    EXPECT_EQ(attr->cVars, 0);
    events->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < std::size(kEvents); ++i) ExpectMember(events, i, kEvents[i], FUNC_DISPATCH, VT_VOID);
}

TEST_F(TypeLibTest, EnumerationConstantsWithTheirNamesAsHelpStrings) {
    ExpectConstants(infos[3], {std::begin(kErrorIdConstants), std::end(kErrorIdConstants)});
    ExpectConstants(infos[4], {std::begin(kTimeoutTypeConstants), std::end(kTimeoutTypeConstants)});
    EXPECT_EQ(Documentation(infos[3], MEMBERID_NIL), L"");
    EXPECT_EQ(Documentation(infos[4], MEMBERID_NIL), L"");
}

}  // namespace
