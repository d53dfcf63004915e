// Self-registration from the registration table. Both bitnesses may be
// registered side by side: a registration writes its own entries in its own
// registry view and the shared ones beside them; an unregistration removes its
// own entries, and the shared ones only when the other bitness has left no
// entry of its own (then from both views, so neither keeps a copy). Whatever
// is not there counts as removed, so unregistering twice succeeds.
#include "windows/library/server.h"

#include <string>

#include "registration_table.h"

namespace moravex::windows {

namespace {

// The other bitness's view. On a 32-bit system this flag is ignored and the
// own view answers, where nothing of this bitness is left when it is asked.
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
constexpr REGSAM kOwnView = 0;

std::wstring Expand(const wchar_t* text, const std::wstring& file, const std::wstring& folder) {
  std::wstring result = text;
  for (const auto& [name, value] : {std::pair<std::wstring, const std::wstring&>{L"${FILE}", file},
                                    std::pair<std::wstring, const std::wstring&>{L"${DIR}", folder}}) {
    for (size_t at = result.find(name); at != std::wstring::npos; at = result.find(name, at + value.size()))
      result.replace(at, name.size(), value);
  }
  return result;
}

HRESULT Write(const RegistrationEntry& entry, const std::wstring& file, const std::wstring& folder) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, entry.key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS && entry.value != nullptr) {
    const std::wstring data = Expand(entry.data, file, folder);
    status = RegSetValueExW(key, *entry.value ? entry.value : nullptr, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  }
  if (key != nullptr) RegCloseKey(key);
  return HRESULT_FROM_WIN32(status);
}

bool Exists(const wchar_t* path, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// Deletes the key if it holds neither values nor subkeys; ERROR_SUCCESS also
// when it is absent, ERROR_DIR_NOT_EMPTY when it stays.
LSTATUS DeleteIfEmpty(const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE | view, &key);
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS) return status;
  DWORD subkeys = 0, values = 0;
  status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                            nullptr, nullptr);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return status;
  if (subkeys != 0 || values != 0) return ERROR_DIR_NOT_EMPTY;
  status = RegDeleteKeyExW(HKEY_CLASSES_ROOT, path.c_str(), view, 0);
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// First-level keys (CLSID, TypeLib, Interface) stay, unless the table itself
// writes one (the ProgID).
bool MayRemove(const std::wstring& path) {
  if (path.find(L'\\') != std::wstring::npos) return true;
  for (const RegistrationEntry& entry : kRegistration)
    if (path == entry.key) return true;
  return false;
}

// Removes the entry's value, then its key and the keys above it that this
// leaves empty.
HRESULT Remove(const RegistrationEntry& entry, REGSAM view) {
  if (entry.value != nullptr) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(HKEY_CLASSES_ROOT, entry.key, 0, KEY_SET_VALUE | view, &key);
    if (status == ERROR_SUCCESS) {
      status = RegDeleteValueW(key, *entry.value ? entry.value : nullptr);
      RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(status);
  }
  for (std::wstring path = entry.key; MayRemove(path);) {
    const size_t parent = path.rfind(L'\\');
    const LSTATUS status = DeleteIfEmpty(path, view);
    if (status == ERROR_DIR_NOT_EMPTY) return S_OK;
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    if (parent == std::wstring::npos) return S_OK;
    path.resize(parent);
  }
  return S_OK;
}

bool OtherBitnessRegistered() {
  for (const RegistrationEntry& entry : kOtherBitnessRegistration)
    if (Exists(entry.key, kOtherView)) return true;
  return false;
}

}  // namespace

HRESULT RegisterServer() {
  const std::wstring file = ModulePath();
  const size_t slash = file.find_last_of(L"\\/");
  if (file.empty() || slash == std::wstring::npos) return SELFREG_E_CLASS;
  const std::wstring folder = file.substr(0, slash + 1);  // with its backslash, as an installer writes it
  for (const RegistrationEntry& entry : kRegistration) {
    if (const HRESULT hr = Write(entry, file, folder); FAILED(hr)) {
      // Leave nothing half-registered behind.
      UnregisterServer();
      return hr;
    }
  }
  return S_OK;
}

HRESULT UnregisterServer() {
  HRESULT result = S_OK;
  const auto remove = [&result](const RegistrationEntry& entry, REGSAM view) {
    if (const HRESULT hr = Remove(entry, view); FAILED(hr) && SUCCEEDED(result)) result = hr;
  };
  for (const RegistrationEntry& entry : kRegistration)
    if (entry.scope == RegistrationScope::kOwn) remove(entry, kOwnView);
  if (OtherBitnessRegistered()) return result;
  for (const RegistrationEntry& entry : kRegistration) {
    if (entry.scope != RegistrationScope::kShared) continue;
    remove(entry, kOwnView);
    remove(entry, kOtherView);
  }
  return result;
}

}  // namespace moravex::windows
