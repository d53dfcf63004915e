#include "feed/windows/windows_sources.h"

#include "windows/com/windows_headers.h"

#include <wincred.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>
#include <random>
#include <vector>

#include "client/chart_service_client.h"
#include "windows/components/message_window.h"
#include "windows/components/window_timer.h"
#include "windows/components/windows_components.h"

namespace moravex::feed {
namespace {

const wchar_t* Wide(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

Text FromWide(const wchar_t* text, size_t length) { return Text(reinterpret_cast<const char16_t*>(text), length); }

std::string SystemError(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = length != 0 ? ToUtf8(FromWide(text, length)) : "error " + std::to_string(code);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
    message.pop_back();
  return message;
}

// One value of a profile key as the text a profile file would hold.
std::optional<std::string> ValueText(DWORD type, const std::vector<BYTE>& data) {
  if (type == REG_DWORD && data.size() == sizeof(DWORD)) {
    DWORD number = 0;
    std::memcpy(&number, data.data(), sizeof number);
    return std::to_string(number);
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  size_t length = data.size() / sizeof(wchar_t);
  const auto* text = reinterpret_cast<const wchar_t*>(data.data());
  while (length > 0 && text[length - 1] == L'\0') --length;
  return ToUtf8(FromWide(text, length));
}

}  // namespace

ProfileLookup RegistryProfiles::Find(const Text& name) {
  const Text path = FromWide(kProfilesKey, wcslen(kProfilesKey)) + u"\\" + name;
  const std::string where = "HKCU\\" + ToUtf8(path);
  HKEY key = nullptr;
  if (const LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, Wide(path), 0, KEY_QUERY_VALUE, &key);
      status != ERROR_SUCCESS) {
    return {std::nullopt, status == ERROR_FILE_NOT_FOUND ? "no profile " + ToUtf8(name) + " (" + where + ")"
                                                         : where + ": " + SystemError(static_cast<DWORD>(status))};
  }
  Profile profile;
  std::string error;
  for (DWORD index = 0; error.empty(); ++index) {
    wchar_t value_name[256];
    DWORD name_length = static_cast<DWORD>(std::size(value_name));
    DWORD type = 0, size = 0;
    LSTATUS status = RegEnumValueW(key, index, value_name, &name_length, nullptr, &type, nullptr, &size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    std::vector<BYTE> data(size);
    name_length = static_cast<DWORD>(std::size(value_name));
    if (status == ERROR_SUCCESS)
      status = RegEnumValueW(key, index, value_name, &name_length, nullptr, &type, data.data(), &size);
    if (status != ERROR_SUCCESS) {
      error = where + ": " + SystemError(static_cast<DWORD>(status));
      break;
    }
    data.resize(size);
    const std::string setting = ToUtf8(FromWide(value_name, name_length));
    if (setting.empty()) continue;  // the key's default value
    const std::optional<std::string> text = ValueText(type, data);
    error = text ? ApplyProfileSetting(profile, setting, *text) : setting + " must be a text or a number";
    if (!error.empty()) error = where + ": " + error;
  }
  RegCloseKey(key);
  if (!error.empty()) return {std::nullopt, error};
  return {profile, {}};
}

PasswordLookup CredentialStore::Password(const Text& name) {
  const Text target = kCredentialPrefix + name;
  PCREDENTIALW credential = nullptr;
  if (!CredReadW(Wide(target), CRED_TYPE_GENERIC, 0, &credential)) {
    const DWORD code = GetLastError();
    return {std::nullopt, code == ERROR_NOT_FOUND
                              ? "no password for " + ToUtf8(name) + " (generic credential " + ToUtf8(target) + ")"
                              : "credential " + ToUtf8(target) + ": " + SystemError(code)};
  }
  Text password = FromWide(reinterpret_cast<const wchar_t*>(credential->CredentialBlob),
                           credential->CredentialBlobSize / sizeof(wchar_t));
  SecureZeroMemory(credential->CredentialBlob, credential->CredentialBlobSize);
  CredFree(credential);
  return {std::move(password), {}};
}

int64_t WindowsClock::SteadyMs() const { return static_cast<int64_t>(GetTickCount64()); }

Text WindowsClock::WallText() const {
  SYSTEMTIME local{};
  GetLocalTime(&local);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", local.wYear, local.wMonth, local.wDay, local.wHour,
                local.wMinute, local.wSecond);
  return FromUtf8(text);
}

FeedPlatform MakeWindowsFeedPlatform(std::shared_ptr<ProfileSource> profiles,
                                     std::shared_ptr<CredentialSource> credentials) {
  FeedPlatform platform;
  platform.make_components = [] { return windows::MakeWindowsComponents(ChartServiceClient::kSocketReadSize); };
  // One window for the engine's own timers; each connection's components bring their own.
  platform.make_timer = [window = windows::MessageWindow::Create()](const std::string& name) {
    return windows::MakeWindowTimer(window, name);
  };
  platform.clock = std::make_shared<WindowsClock>();
  platform.profiles = std::move(profiles);
  platform.credentials = std::move(credentials);
  platform.seed = std::random_device{}();
  return platform;
}

}  // namespace moravex::feed
