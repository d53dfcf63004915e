// The module state of the .ocx: its handle, its path and its type library.
#include "windows/com/module_type_library.h"
#include "windows/library/server.h"

namespace {

HMODULE module_handle = nullptr;
ITypeLib* cached_typelib = nullptr;

}  // namespace

namespace moravex::windows {

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(module_handle, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// Drops the cached type library once nothing of this module is in use, so
// that an unloaded module leaves no reference behind.
void ReleaseCachedTypeLib() {
  if (auto* typelib =
          static_cast<ITypeLib*>(InterlockedExchangePointer(reinterpret_cast<void**>(&cached_typelib), nullptr)))
    typelib->Release();
}

}  // namespace moravex::windows

namespace moravex::com {

HRESULT LoadModuleTypeLib(ITypeLib** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!cached_typelib) {
    const std::wstring path = windows::ModulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    ITypeLib* loaded = nullptr;
    const HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &loaded);
    if (FAILED(hr)) return hr;
    // Another caller may have won the race; keep the first one.
    if (InterlockedCompareExchangePointer(reinterpret_cast<void**>(&cached_typelib), loaded, nullptr))
      loaded->Release();
  }
  cached_typelib->AddRef();
  *out = cached_typelib;
  return S_OK;
}

}  // namespace moravex::com

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    module_handle = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}
