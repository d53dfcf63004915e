// A VARIANT that is cleared when it goes out of scope.
#pragma once
#include <cstdint>

#include "windows/com/windows_headers.h"

namespace moravex::com {

class Variant {
 public:
  Variant() { VariantInit(&v_); }
  ~Variant() { VariantClear(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* operator&() { return &v_; }
  VARIANT& operator*() { return v_; }

 private:
  VARIANT v_;
};

// An omitted optional argument, as Automation passes one.
inline VARIANT Missing() {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_ERROR;
  V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
  return v;
}

// A collection index, as ADO's Fields.Item takes one.
inline VARIANT Ordinal(int32_t ordinal) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I2;
  V_I2(&v) = static_cast<SHORT>(ordinal);
  return v;
}

}  // namespace moravex::com
