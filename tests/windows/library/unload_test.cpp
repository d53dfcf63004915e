// Hosts that let COM unload MORAVEX1.ocx as soon as DllCanUnloadNow allows:
// whatever the host still holds, and whatever the control still runs, no code
// of the library may be needed after that. A fault here crashes the process.
//   unload_test kept-enumerators
//   unload_test slow-lookup HOST WAIT_MS   (the lookup of HOST must outlast the control)
#include "windows/com/windows_headers.h"

#include <cstdio>
#include <cwchar>
#include <string>

#include "MORAVEX1_h.h"
#include "tests/windows/library/library_test.h"

namespace {

int failures = 0;

void Expect(bool condition, const char* what) {
  if (!condition) {
    std::printf("FAILED: %s\n", what);
    ++failures;
  }
}

HRESULT CallExport(const char* name) {
  HMODULE library = LoadLibraryW(OcxPath().c_str());
  if (library == nullptr) return HRESULT_FROM_WIN32(GetLastError());
  auto call = reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  const HRESULT hr = call != nullptr ? call() : E_NOTIMPL;
  FreeLibrary(library);
  return hr;
}

bool Loaded() { return GetModuleHandleW(OcxPath().c_str()) != nullptr; }

_ChartServiceClient* CreateControl() {
  _ChartServiceClient* control = nullptr;
  CoCreateInstance(CLSID_ChartServiceClient, nullptr, CLSCTX_INPROC_SERVER, IID__ChartServiceClient,
                   reinterpret_cast<void**>(&control));
  return control;
}

// The control goes; both kinds of enumerator stay with the host, which lets
// COM unload idle libraries and releases them only then.
void KeptEnumerators() {
  _ChartServiceClient* control = CreateControl();
  Expect(control != nullptr, "the control is created by CLSID");
  if (control == nullptr) return;
  IConnectionPointContainer* container = nullptr;
  IConnectionPoint* point = nullptr;
  IEnumConnections* connections = nullptr;
  IEnumConnectionPoints* points = nullptr;
  control->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
  Expect(container != nullptr && container->EnumConnectionPoints(&points) == S_OK &&
             container->FindConnectionPoint(DIID___ChartServiceClient, &point) == S_OK &&
             point->EnumConnections(&connections) == S_OK,
         "the enumerators are handed out");
  if (point != nullptr) point->Release();
  if (container != nullptr) container->Release();
  control->Release();

  CoFreeUnusedLibraries();
  Expect(Loaded(), "the library stays loaded while the host holds an enumerator");
  if (connections != nullptr) {
    IEnumConnections* clone = nullptr;
    connections->Clone(&clone);
    connections->Release();
    CoFreeUnusedLibraries();
    Expect(clone != nullptr && Loaded(), "a clone alone holds the library too");
    if (clone != nullptr) clone->Release();
  }
  if (points != nullptr) {
    ULONG fetched = 0;
    IConnectionPoint* first = nullptr;
    Expect(points->Next(1, &first, &fetched) == S_OK && first != nullptr, "the point enumerator works");
    if (first != nullptr) first->Release();
    points->Release();
  }
  CoFreeUnusedLibraries();
  Expect(!Loaded(), "the library is unloaded once nothing of it is held");
}

// Connect by a name whose lookup hangs, release the control at once and let
// COM unload the library; the lookup ends later, in whatever is left.
void SlowLookup(const wchar_t* host, DWORD wait_ms) {
  _ChartServiceClient* control = CreateControl();
  Expect(control != nullptr, "the control is created by CLSID");
  if (control == nullptr) return;
  BSTR name = SysAllocString(host);
  Expect(control->Connect(name, 4711) == S_OK, "Connect by name is accepted");
  SysFreeString(name);
  control->Release();
  CoFreeUnusedLibraries();
  std::printf("after CoFreeUnusedLibraries the library is %s\n", Loaded() ? "still mapped" : "unmapped");
  std::fflush(stdout);
  CoUninitialize();
  Sleep(wait_ms);  // the lookup returns meanwhile
  CoInitialize(nullptr);
}

// A fault on any thread (code of an unloaded library, say) ends the process
// at once with its own exit code, rather than leaving the other threads to
// finish while a debugger starts.
LONG WINAPI ExitOnFault(EXCEPTION_POINTERS* fault) {
  std::printf("FAILED: exception %08lx at %p\n", fault->ExceptionRecord->ExceptionCode,
              fault->ExceptionRecord->ExceptionAddress);
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  SetUnhandledExceptionFilter(ExitOnFault);
  CoInitialize(nullptr);
  Expect(CallExport("DllRegisterServer") == S_OK, "DllRegisterServer");
  const std::wstring mode = argv[1];
  if (mode == L"kept-enumerators") {
    KeptEnumerators();
  } else if (mode == L"slow-lookup" && argc == 4) {
    SlowLookup(argv[2], static_cast<DWORD>(_wtoi(argv[3])));
  } else {
    return 2;
  }
  CoUninitialize();
  Expect(CallExport("DllUnregisterServer") == S_OK, "DllUnregisterServer");
  std::printf("%ls: %s\n", mode.c_str(), failures ? "FAILED" : "passed");
  return failures ? 1 : 0;
}
