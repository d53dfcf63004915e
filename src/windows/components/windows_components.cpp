#include "windows/components/windows_components.h"

#include <cstring>
#include <string>

#include "trace/trace.h"
#include "windows/components/ado_record_set.h"
#include "windows/components/ansi_conversion.h"
#include "windows/components/message_window.h"
#include "windows/components/window_timer.h"
#include "windows/components/winsock_socket.h"

namespace moravex::windows {
namespace {

// In the ANSI code page, as the portable trace opens its file with std::fopen.
std::string Ansi(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string ansi(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi.data(), size, nullptr, nullptr);
  ansi.resize(static_cast<size_t>(size - 1));
  return ansi;
}

std::wstring Environment(const wchar_t* name) {
  wchar_t value[1024];
  const DWORD size = GetEnvironmentVariableW(name, value, 1024);
  return size > 0 && size < 1024 ? std::wstring(value, size) : std::wstring();
}

// HKCU\Software\MORAVEX1\Trace: File (a string), Level (a number or its text).
std::wstring RegistryValue(const wchar_t* name) {
  wchar_t value[1024];
  DWORD size = sizeof value;
  DWORD type = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\MORAVEX1\\Trace", name, RRF_RT_REG_SZ | RRF_RT_REG_DWORD, &type,
                   value, &size) != ERROR_SUCCESS) {
    return {};
  }
  if (type == REG_DWORD) {
    DWORD number = 0;
    std::memcpy(&number, value, sizeof number);
    return std::to_wstring(number);
  }
  return value;
}

// The environment first, as on POSIX; the registry for hosts started where
// no environment can be set (Office from the Start menu).
std::shared_ptr<moravex::Trace> ProcessTrace() {
  std::wstring file = Environment(L"MORAVEX1_TRACE");
  std::wstring level = Environment(L"MORAVEX1_TRACE_LEVEL");
  if (file.empty()) {
    file = RegistryValue(L"File");
    if (level.empty()) level = RegistryValue(L"Level");
  }
  return moravex::Trace::ForProcess(Ansi(file), Ansi(level), GetCurrentProcessId());
}

}  // namespace

moravex::Components MakeWindowsComponents(size_t socket_read_size) {
  using namespace moravex::windows;
  const auto window = MessageWindow::Create();
  moravex::Components components;
  components.winsock1 = std::make_unique<WinsockSocket>(window, NameLookup{}, SocketSizes{.read = socket_read_size});
  components.tmr_login_and_connect_timeout = MakeWindowTimer(window, "tmrLoginAndConnectTimeout");
  components.tmr_data_request_timeout = MakeWindowTimer(window, "tmrDataRequestTimeout");
  components.tmr_session_info_timeout = MakeWindowTimer(window, "tmrSessionInfoTimeout");
  components.record_sets = std::make_shared<AdoRecordSetFactory>();
  components.text = std::make_shared<AnsiConversion>();
  components.trace = ProcessTrace();
  return components;
}

}  // namespace moravex::windows
