// A VARIANT that is cleared when it goes out of scope.
#pragma once
#include "windows_headers.h"

namespace moravex_com {

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

}  // namespace moravex_com
