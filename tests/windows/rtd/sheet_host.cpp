// A host that drives MORAVEX1.Rtd as a spreadsheet does, on its own STA
// thread: ServerStart with its callback, ConnectData for 100 topics, a
// RefreshData after each UpdateNotify, the server killed and restarted by
// rtd_test.sh (asked through the file KILL_REQUEST), DisconnectData,
// ServerTerminate, DllCanUnloadNow.
//   sheet_host.exe PORT KILL_REQUEST
#include "windows/com/windows_headers.h"

#include <tlhelp32.h>
#include <wincred.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/windows/pump.h"
#include "windows/com/com_object.h"
#include "windows/com/com_ptr.h"

#include "MORAVEX1Rtd_h.h"

namespace {

using moravex::com::ComPtr;
using moravex::windows::test::PumpUntil;
int failures = 0;
#define CHECK(condition)                                                  \
  do {                                                                    \
    if (!(condition)) {                                                   \
      std::printf("%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                         \
    }                                                                     \
  } while (0)

constexpr DWORD kThrottleMs = 300;

class UpdateEvent final : public moravex::com::ComObject<UpdateEvent, IRTDUpdateEvent> {
 public:
  std::vector<ULONGLONG> notified;
  IFACEMETHODIMP UpdateNotify() override {
    notified.push_back(GetTickCount64());
    return S_OK;
  }
  IFACEMETHODIMP get_HeartbeatInterval(LONG* value) override { return *value = 15000, S_OK; }
  IFACEMETHODIMP put_HeartbeatInterval(LONG) override { return S_OK; }
  IFACEMETHODIMP Disconnect() override { return S_OK; }
  IFACEMETHODIMP GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
  IFACEMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  IFACEMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  IFACEMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
};

void SetSetting(const wchar_t* key, const wchar_t* name, const std::wstring& value) {
  RegSetKeyValueW(HKEY_CURRENT_USER, key, name, REG_SZ, value.c_str(), DWORD((value.size() + 1) * sizeof(wchar_t)));
}

// The profiles Default and Desk2 on the simulator, their passwords in the credential store.
void WriteProfiles(const wchar_t* port) {
  for (const wchar_t* name : {L"Default", L"Desk2"}) {
    const std::wstring key = std::wstring(L"Software\\MORAVEX1\\Profiles\\") + name;
    SetSetting(key.c_str(), L"port", port);
    SetSetting(key.c_str(), L"user", L"demo-user-00000000000000000000000000");
    SetSetting(key.c_str(), L"backoff_base_ms", L"200");
    SetSetting(key.c_str(), L"backoff_max_ms", L"500");
    std::wstring target = std::wstring(L"MORAVEX1/") + name, password = L"demo-password-0000000000000000000000";
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = target.data();
    credential.CredentialBlobSize = DWORD(password.size() * sizeof(wchar_t));
    credential.CredentialBlob = reinterpret_cast<BYTE*>(password.data());
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    CHECK(CredWriteW(&credential, 0));
  }
  const DWORD throttle = kThrottleMs;
  RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\MORAVEX1\\Rtd", L"throttle_ms", REG_DWORD, &throttle, sizeof throttle);
}

size_t ThreadCount() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  size_t count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    count += entry.th32OwnerProcessID == GetCurrentProcessId();
  CloseHandle(snapshot);
  return count;
}

SAFEARRAY* Strings(const std::vector<std::wstring>& strings) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, ULONG(strings.size()));
  for (LONG i = 0; i < LONG(strings.size()); ++i) {
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(strings[i].c_str());
    SafeArrayPutElement(array, &i, &v);
    VariantClear(&v);
  }
  return array;
}

std::wstring Text(const VARIANT& v) { return V_VT(&v) == VT_BSTR ? V_BSTR(&v) : L""; }

struct Sheet {
  ComPtr<IRtdServer> server;
  UpdateEvent* events = nullptr;
  size_t seen_notifies = 0;
  std::map<LONG, std::vector<std::wstring>> topics;
  std::map<LONG, VARIANT> cells;  // the latest value of each topic
  std::set<LONG> refreshed;       // topics RefreshData has named since it was cleared

  // Pumps until `done`, refreshing after each UpdateNotify (outside it, as a sheet does).
  bool Until(const std::function<bool()>& done, DWORD ms = 20000) {
    return PumpUntil(
        [&] {
          if (events->notified.size() > seen_notifies) {
            seen_notifies = events->notified.size();
            Refresh();
          }
          return done();
        },
        ms);
  }
  LONG Refresh() {
    LONG count = 0;
    SAFEARRAY* array = nullptr;
    CHECK(SUCCEEDED(server->RefreshData(&count, &array)));
    for (LONG i = 0; i < count; ++i) {
      VARIANT id, value;
      LONG at[2] = {0, i};
      SafeArrayGetElement(array, at, &id);
      at[0] = 1;
      SafeArrayGetElement(array, at, &value);
      CHECK(topics.contains(V_I4(&id)));
      VariantClear(&cells[V_I4(&id)]);
      cells[V_I4(&id)] = value;
      refreshed.insert(V_I4(&id));
    }
    SafeArrayDestroy(array);
    return count;
  }
  bool All(const std::function<bool(const std::vector<std::wstring>&, const VARIANT&)>& holds) {
    for (const auto& [id, strings] : topics)
      if (!holds(strings, cells[id])) return false;
    return true;
  }
  bool StatusIs(const std::wstring& text) { return Text(cells[1]).starts_with(text); }
};

bool IsUpdated(const std::vector<std::wstring>& strings) { return strings.size() > 1 && strings[1] == L"Updated"; }

void Run(const wchar_t* port, const wchar_t* kill_request) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  WriteProfiles(port);
  const size_t threads_before = ThreadCount();
  Sheet sheet;
  CLSID clsid;
  CHECK(SUCCEEDED(CLSIDFromProgID(L"MORAVEX1.Rtd", &clsid)));
  CHECK(SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IRtdServer, sheet.server.PutVoid())));
  if (!sheet.server) return;
  sheet.events = new UpdateEvent;
  LONG started = 0, alive = 0;
  CHECK(SUCCEEDED(sheet.server->ServerStart(sheet.events, &started)) && started == 1);

  // 100 topics: Status, 19 tickers' prices and times, one on the profile Desk2; and one that does not parse.
  std::vector<std::vector<std::wstring>> formulas = {
      {L"Status"}, {L"IBM", L"High", L"Desk2"}, {L"IBM", L"Rows"}, {L"IBM", L"LastAverage"}, {L"IBM", L"Low"}};
  for (int t = 0; t < 19; ++t)
    for (const wchar_t* field : {L"Price", L"High", L"Close", L"Time", L"Updated"})
      formulas.push_back({t == 0 ? L"IBM" : L"T" + std::to_wstring(t), field});
  formulas.push_back({L"IBM", L"Nonsense"});
  for (const auto& formula : formulas) {
    const LONG id = LONG(sheet.topics.size() + 1);
    SAFEARRAY* strings = Strings(formula);
    VARIANT_BOOL get_new = VARIANT_FALSE;
    VARIANT value;
    CHECK(SUCCEEDED(sheet.server->ConnectData(id, &strings, &get_new, &value)));
    SafeArrayDestroy(strings);
    sheet.topics[id] = formula;
    sheet.cells[id] = value;
  }
  CHECK(Text(sheet.cells[101]).find(L"Nonsense") != std::wstring::npos);

  CHECK(sheet.Until([&] {
    return sheet.All([](const auto& strings, const VARIANT& v) {
      if (strings == std::vector<std::wstring>{L"Status"}) return Text(v) == L"Live";
      return strings.size() == 2 && strings[1] == L"Nonsense"
                 ? true
                 : V_VT(&v) == VT_R8 || V_VT(&v) == VT_I4 || (V_VT(&v) == VT_BSTR && Text(v) != L"");
    });
  }));
  CHECK(V_VT(&sheet.cells[6]) == VT_R8 && V_R8(&sheet.cells[6]) > 0);  // IBM Price
  CHECK(sheet.Refresh() == 0);                                         // only what changed since the last refresh
  for (size_t i = 1; i < sheet.events->notified.size(); ++i)
    CHECK(sheet.events->notified[i] - sheet.events->notified[i - 1] >= kThrottleMs - 20);
  CHECK(SUCCEEDED(sheet.server->Heartbeat(&alive)) && alive == 1);

  // The server killed, then back on the same port: Status says so, and every ticker is fresh again.
  CloseHandle(CreateFileW(kill_request, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  CHECK(sheet.Until([&] { return sheet.StatusIs(L"Reconnecting in "); }));
  CHECK(sheet.Until([&] { return sheet.StatusIs(L"Live"); }));
  sheet.refreshed.clear();
  CHECK(sheet.Until([&] {
    return std::ranges::all_of(sheet.topics, [&](const auto& topic) {
      return !IsUpdated(topic.second) || sheet.refreshed.contains(topic.first);
    });
  }));

  // Disconnected topics are never named again.
  for (LONG id = 51; id <= 101; ++id) CHECK(SUCCEEDED(sheet.server->DisconnectData(id)));
  sheet.refreshed.clear();
  const size_t notifies = sheet.events->notified.size();
  CHECK(sheet.Until([&] { return sheet.events->notified.size() > notifies + 2; }));
  CHECK(!sheet.refreshed.empty() && *sheet.refreshed.rbegin() <= 50);

  CHECK(SUCCEEDED(sheet.server->ServerTerminate()));
  const size_t after_terminate = sheet.events->notified.size();
  moravex::windows::test::PumpFor(3 * kThrottleMs + 1000);
  CHECK(sheet.events->notified.size() == after_terminate);
  CHECK(SUCCEEDED(sheet.server->Heartbeat(&alive)) && alive == 0);
  CHECK(FindWindowExW(HWND_MESSAGE, nullptr, L"MORAVEX1.ComponentWindow", nullptr) == nullptr);
  CHECK(ThreadCount() == threads_before);
  sheet.server.Reset();
  sheet.events->Release();
  for (auto& [id, value] : sheet.cells) VariantClear(&value);
  const auto can_unload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"MORAVEX1Rtd.dll"), "DllCanUnloadNow")));
  CHECK(can_unload != nullptr && can_unload() == S_OK);
  CoUninitialize();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  std::thread sheet([&] { Run(argv[1], argv[2]); });  // the sheet's own apartment thread
  sheet.join();
  std::printf(failures == 0 ? "sheet host: passed\n" : "sheet host: %d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
