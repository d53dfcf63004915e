// Drives MORAVEX1.Rtd as a spreadsheet does, on its own STA thread, against the
// simulator that rtd_test.sh kills and restarts when asked (the file KILL_REQUEST).
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

int failures = 0;
void Check(bool ok, int line, const char* what) {
  if (!ok) std::printf("sheet_host.cpp:%d: failed: %s\n", line, what), ++failures;
}
#define CHECK(condition) Check(condition, __LINE__, #condition)

constexpr DWORD kThrottleMs = 300;
using Strings = std::vector<std::wstring>;

class UpdateEvent final : public moravex::com::ComObject<UpdateEvent, IRTDUpdateEvent> {
 public:
  std::vector<ULONGLONG> notified;
  IFACEMETHODIMP UpdateNotify() override { return notified.push_back(GetTickCount64()), S_OK; }
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

// The profiles Default and Desk2 on the simulator, their passwords in the credential store.
void WriteSettings(const std::wstring& port) {
  for (std::wstring name : {L"Default", L"Desk2"}) {
    const std::wstring key = L"Software\\MORAVEX1\\Profiles\\" + name;
    for (const auto& [setting, value] : std::map<std::wstring, std::wstring>{
             {L"port", port}, {L"user", L"demo-user-00000000000000000000000000"}, {L"backoff_max_ms", L"500"}})
      RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), setting.c_str(), REG_SZ, value.c_str(),
                      DWORD((value.size() + 1) * sizeof(wchar_t)));
    std::wstring target = L"MORAVEX1/" + name, password = L"demo-password-0000000000000000000000";
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

struct Cell {
  VARTYPE type = VT_EMPTY;
  std::wstring text;
};

Cell CellOf(VARIANT& value) {
  const VARTYPE type = V_VT(&value);
  const bool text = SUCCEEDED(VariantChangeType(&value, &value, 0, VT_BSTR));
  Cell cell{type, text ? V_BSTR(&value) : L"?"};
  VariantClear(&value);
  return cell;
}

struct Sheet {
  moravex::com::ComPtr<IRtdServer> server;
  UpdateEvent* events = new UpdateEvent;
  size_t seen = 0;
  std::map<LONG, Strings> topics;
  std::map<LONG, Cell> cells;
  std::set<LONG> refreshed;  // topics RefreshData named since this was cleared

  void Connect(const Strings& strings) {
    const LONG id = LONG(topics.size() + 1);
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, ULONG(strings.size()));
    for (LONG i = 0; i < LONG(strings.size()); ++i) {
      VARIANT v;
      V_VT(&v) = VT_BSTR;
      V_BSTR(&v) = SysAllocString(strings[i].c_str());
      SafeArrayPutElement(array, &i, &v);
      VariantClear(&v);
    }
    VARIANT_BOOL get_new = VARIANT_TRUE;
    VARIANT value;
    CHECK(SUCCEEDED(server->ConnectData(id, &array, &get_new, &value)));
    SafeArrayDestroy(array);
    topics[id] = strings;
    cells[id] = CellOf(value);
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
      cells[V_I4(&id)] = CellOf(value);
      refreshed.insert(V_I4(&id));
    }
    SafeArrayDestroy(array);
    return count;
  }
  // Pumps until `done`, refreshing after each UpdateNotify (after it returns, as a sheet does).
  bool Until(const std::function<bool()>& done) {
    return moravex::windows::test::PumpUntil(
        [&] {
          if (events->notified.size() > seen) seen = events->notified.size(), Refresh();
          return done();
        },
        20000);
  }
  bool All(const std::function<bool(const Strings&, const Cell&, LONG)>& holds) {
    return std::ranges::all_of(topics,
                               [&](const auto& topic) { return holds(topic.second, cells[topic.first], topic.first); });
  }
  bool StatusIs(const std::wstring& text) { return cells[1].text.starts_with(text); }
};

void Run(const std::wstring& port, const wchar_t* kill_request) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  WriteSettings(port);
  const size_t threads_before = ThreadCount();
  Sheet sheet;
  CLSID clsid{};
  CHECK(SUCCEEDED(CLSIDFromProgID(L"MORAVEX1.Rtd", &clsid)));
  CHECK(SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IRtdServer, sheet.server.PutVoid())));
  if (!sheet.server) return;
  LONG started = 0, alive = 0;
  CHECK(SUCCEEDED(sheet.server->ServerStart(sheet.events, &started)) && started == 1);

  // 100 topics: Status, 19 tickers' prices and times, one on the profile Desk2; and one that does not parse.
  for (const Strings& topic : std::vector<Strings>{
           {L"Status"}, {L"IBM", L"High", L"Desk2"}, {L"IBM", L"Rows"}, {L"IBM", L"LastAverage"}, {L"IBM", L"Low"}})
    sheet.Connect(topic);
  for (int t = 0; t < 19; ++t)
    for (const wchar_t* field : {L"Price", L"High", L"Close", L"Time", L"Updated"})
      sheet.Connect({t == 0 ? L"IBM" : L"T" + std::to_wstring(t), field});
  sheet.Connect({L"IBM", L"Nonsense"});
  CHECK(sheet.cells[101].text.find(L"Nonsense") != std::wstring::npos);

  const auto is_live = [](const Strings& strings, const Cell& cell, LONG id) {
    if (id == 1) return cell.text == L"Live";
    const bool number = strings[1] == L"Rows" ? cell.type == VT_I4 : cell.type == VT_R8;
    return id == 101 || (strings[1] == L"Time" || strings[1] == L"Updated" ? !cell.text.empty() : number);
  };
  CHECK(sheet.Until([&] { return sheet.All(is_live); }));
  CHECK(sheet.Refresh() == 0);  // only what changed since the last refresh
  for (size_t i = 1; i < sheet.events->notified.size(); ++i)
    CHECK(sheet.events->notified[i] - sheet.events->notified[i - 1] >= kThrottleMs - 20);
  CHECK(SUCCEEDED(sheet.server->Heartbeat(&alive)) && alive == 1);

  // The server killed, then back on the same port: Status says so, and every ticker is fresh again.
  CloseHandle(CreateFileW(kill_request, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  CHECK(sheet.Until([&] { return sheet.StatusIs(L"Reconnecting in "); }));
  CHECK(sheet.Until([&] { return sheet.StatusIs(L"Live"); }));
  sheet.refreshed.clear();
  CHECK(sheet.Until([&] {
    return sheet.All([&](const Strings& s, const Cell&, LONG id) {
      return s.size() < 2 || s[1] != L"Updated" || sheet.refreshed.contains(id);
    });
  }));
  CHECK(sheet.All(is_live));

  // Disconnected topics are never named again.
  for (LONG id = 51; id <= 101; ++id) CHECK(SUCCEEDED(sheet.server->DisconnectData(id)));
  sheet.refreshed.clear();
  const size_t notifies = sheet.events->notified.size();
  CHECK(sheet.Until([&] { return sheet.events->notified.size() > notifies + 2; }));
  CHECK(!sheet.refreshed.empty() && *sheet.refreshed.rbegin() <= 50);

  // Terminated: no UpdateNotify, no thread, no window left, and the module may go.
  CHECK(SUCCEEDED(sheet.server->ServerTerminate()));
  const size_t after_terminate = sheet.events->notified.size();
  moravex::windows::test::PumpFor(3 * kThrottleMs + 1000);
  CHECK(sheet.events->notified.size() == after_terminate);
  CHECK(SUCCEEDED(sheet.server->Heartbeat(&alive)) && alive == 0);
  CHECK(FindWindowExW(HWND_MESSAGE, nullptr, L"MORAVEX1.ComponentWindow", nullptr) == nullptr);
  CHECK(ThreadCount() == threads_before);
  sheet.server.Reset();
  sheet.events->Release();
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
