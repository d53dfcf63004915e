#include "windows/rtd/rtd_values.h"

#include <charconv>
#include <cstdlib>
#include <new>

#include "windows/com/bstr.h"
#include "windows/com/variant.h"

namespace moravex::rtd {
namespace {

double ShortestDouble(float price) {
  char text[32];
  const auto [end, error] = std::to_chars(text, text + sizeof text - 1, price);
  if (error != std::errc()) return price;
  *end = '\0';
  return std::strtod(text, nullptr);
}

}  // namespace

std::vector<Text> TopicStrings(const SAFEARRAY* strings) {
  std::vector<Text> texts;
  if (strings == nullptr || SafeArrayGetDim(const_cast<SAFEARRAY*>(strings)) != 1) return texts;
  auto* array = const_cast<SAFEARRAY*>(strings);
  LONG low = 0, high = -1;
  SafeArrayGetLBound(array, 1, &low);
  SafeArrayGetUBound(array, 1, &high);
  VARTYPE type = VT_EMPTY;
  SafeArrayGetVartype(array, &type);
  for (LONG index = low; index <= high; ++index) {
    com::Variant element, text;
    if (type == VT_VARIANT) {
      SafeArrayGetElement(array, &index, &element);
    } else if (type == VT_BSTR) {
      V_VT(&element) = VT_BSTR;
      SafeArrayGetElement(array, &index, &V_BSTR(&element));
    }
    const bool converted = SUCCEEDED(VariantChangeType(&text, &element, 0, VT_BSTR));
    texts.push_back(converted ? com::TextOf(V_BSTR(&text)) : Text());
  }
  return texts;
}

void ToVariant(const feed::FeedValue& value, VARIANT* out) {
  VariantInit(out);
  if (const float* price = std::get_if<float>(&value)) {
    V_VT(out) = VT_R8;
    V_R8(out) = ShortestDouble(*price);
  } else if (const int32_t* count = std::get_if<int32_t>(&value)) {
    V_VT(out) = VT_I4;
    V_I4(out) = *count;
  } else {
    const Text* text = std::get_if<Text>(&value);
    com::Bstr bstr(text != nullptr ? *text : Text());
    V_VT(out) = VT_BSTR;
    V_BSTR(out) = bstr.Detach();
  }
}

SAFEARRAY* TopicValueArray(const std::vector<std::pair<LONG, const feed::FeedValue*>>& values) {
  // Bounds and indices both left to right: the row first, then the topic.
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {static_cast<ULONG>(values.size()), 0}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  if (array == nullptr) throw std::bad_alloc();
  for (size_t i = 0; i < values.size(); ++i) {
    com::Variant id, value;
    V_VT(&id) = VT_I4;
    V_I4(&id) = values[i].first;
    try {
      ToVariant(*values[i].second, &value);
    } catch (...) {
      SafeArrayDestroy(array);
      throw;
    }
    LONG at[2] = {0, static_cast<LONG>(i)};
    HRESULT hr = SafeArrayPutElement(array, at, &id);
    at[0] = 1;
    if (SUCCEEDED(hr)) hr = SafeArrayPutElement(array, at, &value);
    if (FAILED(hr)) {
      SafeArrayDestroy(array);
      throw std::bad_alloc();
    }
  }
  return array;
}

}  // namespace moravex::rtd
