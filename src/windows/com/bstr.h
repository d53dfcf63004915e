// BSTR ownership and the UTF-8 / UTF-16 crossings of the COM boundary.
#pragma once
#include "windows/com/windows_headers.h"

#include <string>
#include <utility>

#include "platform/text.h"

namespace moravex::com {

class Bstr {
 public:
  Bstr() = default;
  // Throws std::bad_alloc when the string cannot be allocated.
  explicit Bstr(const moravex::Text& text);
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
  ~Bstr() { SysFreeString(value_); }

  static Bstr FromUtf8(const std::string& utf8) { return Bstr(moravex::FromUtf8(utf8)); }
  BSTR Get() const { return value_; }
  BSTR Detach() { return std::exchange(value_, nullptr); }

 private:
  BSTR value_ = nullptr;
};

// A BSTR argument as text; a null BSTR is the empty string.
moravex::Text TextOf(BSTR value);

}  // namespace moravex::com
