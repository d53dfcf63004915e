// One row of the registration table (registration.table, turned into
// registration_table.h by the build): a value or a bare key below
// HKEY_CLASSES_ROOT.
#pragma once

namespace moravex::windows {

enum class RegistrationScope {
  kOwn,     // this bitness's alone
  kShared,  // used by both bitnesses' registrations
};

struct RegistrationEntry {
  RegistrationScope scope;
  const wchar_t* key;
  const wchar_t* value;  // L"" the default value, nullptr the key alone
  const wchar_t* data;   // may hold ${FILE} and ${DIR}
};

}  // namespace moravex::windows
