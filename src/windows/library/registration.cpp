// Self-registration: the ProgID, the CLSID key of the control and the type
// library. Unregistration removes exactly these.
#include "module.h"
#include "server.h"

#include <olectl.h>
#include <oleauto.h>

#include <string>

#include "MORAVEX1_h.h"

namespace {

constexpr wchar_t kProgId[] = L"MORAVEX1.ChartServiceClient";
constexpr wchar_t kDisplayName[] = L"ChartServiceClient Control";
constexpr wchar_t kTypeLibVersion[] = L"6.0";
constexpr wchar_t kToolboxBitmapId[] = L"30000";
// OLEMISC_SETCLIENTSITEFIRST | INVISIBLEATRUNTIME | ACTIVATEWHENVISIBLE |
// INSIDEOUT | CANTLINKINSIDE | RECOMPOSEONRESIZE, for DVASPECT_CONTENT.
constexpr DWORD kMiscStatusContent = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INVISIBLEATRUNTIME |
                                     OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
                                     OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
static_assert(kMiscStatusContent == 132497);

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

struct Value {
    std::wstring key;   // below HKEY_CLASSES_ROOT
    std::wstring name;  // empty: the key's default value
    std::wstring data;
};

HRESULT SetValue(const Value& value) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, value.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                     nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key, value.name.empty() ? nullptr : value.name.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(value.data.c_str()),
                                static_cast<DWORD>((value.data.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    return HRESULT_FROM_WIN32(status);
}

HRESULT CreateKey(const std::wstring& path) {
    HKEY key = nullptr;
    const LSTATUS status =
        RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) RegCloseKey(key);
    return HRESULT_FROM_WIN32(status);
}

HRESULT DeleteTree(const std::wstring& path) {
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    return status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}

HRESULT WriteClassKeys(const std::wstring& path) {
    const std::wstring clsid = L"CLSID\\" + GuidText(CLSID_ChartServiceClient);
    const Value values[] = {
        {kProgId, L"", kDisplayName},
        {std::wstring(kProgId) + L"\\CLSID", L"", GuidText(CLSID_ChartServiceClient)},
        {clsid, L"", kDisplayName},
        {clsid + L"\\InprocServer32", L"", path},
        {clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {clsid + L"\\ProgID", L"", kProgId},
        {clsid + L"\\TypeLib", L"", GuidText(LIBID_MORAVEX1)},
        {clsid + L"\\Version", L"", kTypeLibVersion},
        {clsid + L"\\ToolboxBitmap32", L"", path + L", " + kToolboxBitmapId},
        {clsid + L"\\MiscStatus", L"", L"0"},
        {clsid + L"\\MiscStatus\\1", L"", std::to_wstring(kMiscStatusContent)},
    };
    for (const Value& value : values)
        if (const HRESULT hr = SetValue(value); FAILED(hr)) return hr;
    return CreateKey(clsid + L"\\Control");
}

HRESULT RegisterOwnTypeLib(const std::wstring& path) {
    ITypeLib* typelib = nullptr;
    HRESULT hr = LoadControlTypeLib(&typelib);
    if (FAILED(hr)) return hr;
    std::wstring full_path = path;  // the API takes a non-const string
    hr = RegisterTypeLib(typelib, full_path.data(), nullptr);
    typelib->Release();
    return hr;
}

HRESULT UnregisterOwnTypeLib() {
    ITypeLib* typelib = nullptr;
    HRESULT hr = LoadControlTypeLib(&typelib);
    if (FAILED(hr)) return hr;
    TLIBATTR* attributes = nullptr;
    hr = typelib->GetLibAttr(&attributes);
    if (SUCCEEDED(hr)) {
        hr = UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                               attributes->lcid, attributes->syskind);
        typelib->ReleaseTLibAttr(attributes);
        // Nothing registered is nothing to remove.
        if (hr == TYPE_E_REGISTRYACCESS) hr = S_OK;
    }
    typelib->Release();
    return hr;
}

}  // namespace

HRESULT RegisterServer() {
    const std::wstring path = ModulePath();
    if (path.empty()) return SELFREG_E_CLASS;
    HRESULT hr = WriteClassKeys(path);
    if (SUCCEEDED(hr)) hr = RegisterOwnTypeLib(path);
    // Leave nothing half-registered behind.
    if (FAILED(hr)) UnregisterServer();
    return hr;
}

HRESULT UnregisterServer() {
    const HRESULT typelib = UnregisterOwnTypeLib();
    const HRESULT clsid = DeleteTree(L"CLSID\\" + GuidText(CLSID_ChartServiceClient));
    const HRESULT progid = DeleteTree(kProgId);
    if (FAILED(typelib)) return typelib;
    return FAILED(clsid) ? clsid : progid;
}
