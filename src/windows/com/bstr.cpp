#include "windows/com/bstr.h"

#include <new>

namespace moravex::com {

Bstr::Bstr(const moravex::Text& text)
    : value_(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()))) {
  if (value_ == nullptr) throw std::bad_alloc();
}

moravex::Text TextOf(BSTR value) {
  if (value == nullptr) return {};
  return moravex::Text(reinterpret_cast<const char16_t*>(value), SysStringLen(value));
}

}  // namespace moravex::com
