#include "tools/shell/windows/ado_table.h"

// Classic ADO interface ids at _WIN32_WINNT 0x0601 (the ones Wine's msado15
// answers); the header needs -fpermissive, set for this file only.
#include <adoint.h>

#include <algorithm>
#include <limits>

#include "windows/com/com_ptr.h"
#include "windows/com/variant.h"

namespace moravex::shell {
namespace {

using moravex::com::ComPtr;

// _Recordset of ADO 2.1 and later, as Wine and Windows both answer it.
constexpr IID kIidRecordset = {0x00000556, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

struct ReadFailed {};

void Check(HRESULT hr) {
  if (FAILED(hr)) throw ReadFailed{};
}

using moravex::com::Variant;

std::u16string Text(BSTR text) {
  if (text == nullptr) return {};
  return {reinterpret_cast<const char16_t*>(text), SysStringLen(text)};
}

ComPtr<ADOField> FieldAt(ADOFields* fields, long ordinal) {
  VARIANT index;
  VariantInit(&index);
  // An I2 ordinal, as Wine's msado15 is known to take it.
  V_VT(&index) = VT_I2;
  V_I2(&index) = static_cast<SHORT>(ordinal);
  ComPtr<ADOField> field;
  Check(fields->get_Item(index, field.Put()));
  return field;
}

// A field's value converted to `type` (a host reads it the same way).
void ValueAs(ADOFields* fields, long ordinal, VARTYPE type, Variant& value) {
  Check(FieldAt(fields, ordinal)->get_Value(&value));
  if (V_VT(&value) != type) Check(VariantChangeType(&value, &value, 0, type));
}

}  // namespace

EventValue ReadAdoTable(IDispatch* object) {
  if (object == nullptr) return std::monostate{};
  ComPtr<_ADORecordset> set;
  if (FAILED(object->QueryInterface(kIidRecordset, set.PutVoid())) || !set) return std::monostate{};
  try {
    PriceTable table;
    ComPtr<ADOFields> fields;
    Check(set->get_Fields(fields.Put()));
    long count = 0;
    Check(fields->get_Count(&count));
    for (long i = 0; i < count; ++i) {
      BSTR name = nullptr;
      Check(FieldAt(fields.Get(), i)->get_Name(&name));
      table.fields.push_back(Text(name));
      SysFreeString(name);
    }
    ADO_LONGPTR records = 0;
    Check(set->get_RecordCount(&records));
    table.record_count =
        static_cast<int32_t>(std::clamp<ADO_LONGPTR>(records, -1, std::numeric_limits<int32_t>::max()));
    for (;;) {
      VARIANT_BOOL eof = VARIANT_TRUE;
      Check(set->get_EOF(&eof));
      if (eof != VARIANT_FALSE) break;
      PriceTable::Row row{};
      {
        Variant time;
        ValueAs(fields.Get(), 0, VT_BSTR, time);
        row.time = Text(V_BSTR(&time));
      }
      for (long k = 0; k < 4; ++k) {
        Variant price;
        ValueAs(fields.Get(), k + 1, VT_R4, price);
        row.prices[static_cast<size_t>(k)] = V_R4(&price);
      }
      table.rows.push_back(std::move(row));
      Check(set->MoveNext());
    }
    return table;
  } catch (const ReadFailed&) {
    return std::monostate{};
  }
}

}  // namespace moravex::shell
