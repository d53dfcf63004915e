#include "windows/components/ado_record_set.h"

#include <oleauto.h>
// Classic ADO interface ids at _WIN32_WINNT 0x0601; needs -fpermissive (set
// for this file only, see CMakeLists.txt).
#include <adoint.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "windows/com/com_ptr.h"
#include "windows/com/variant.h"
#include "windows/components/system_text.h"
#include "platform/failure.h"

namespace moravex::windows {

namespace {

// ADODB.Recordset and its classic _Recordset interface (ADO 2.1 and later).
constexpr GUID kClsidRecordset = {0x00000535, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
constexpr GUID kIidRecordset = {0x00000556, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

constexpr const char* kAdoSource = "ADODB.Recordset";
// ADO's wording of kNoCurrentRecord.
constexpr const char* kNoCurrentRecordText =
    "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a current "
    "record.";

template <class T>
using Ref = moravex::com::ComPtr<T>;
using moravex::com::Variant;

using moravex::com::Missing;
using moravex::com::Ordinal;

std::string TakeBstr(BSTR text) {
  std::string out;
  if (text != nullptr) {
    out = ToUtf8(FromWide(text, SysStringLen(text)));
    SysFreeString(text);
  }
  return out;
}

// A failed ADO call as a Failure: source and description from the error
// information ADO set, else the system's text for the HRESULT.
[[noreturn]] void ThrowComError(HRESULT hr, const char* operation) {
  std::string source;
  std::string description;
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) == S_OK && info != nullptr) {
    BSTR text = nullptr;
    if (SUCCEEDED(info->GetSource(&text))) source = TakeBstr(text);
    text = nullptr;
    if (SUCCEEDED(info->GetDescription(&text))) description = TakeBstr(text);
    info->Release();
  }
  if (source.empty()) source = kAdoSource;
  if (description.empty()) {
    char fallback[96];
    std::snprintf(fallback, sizeof fallback, "%s failed (0x%08lX)", operation, static_cast<unsigned long>(hr));
    description = ToUtf8(SystemMessage(static_cast<DWORD>(hr), fallback));
  }
  throw Failure(hr < 0 ? static_cast<int32_t>(hr) : static_cast<int32_t>(E_FAIL), source, description);
}

void Check(HRESULT hr, const char* operation) {
  if (FAILED(hr)) ThrowComError(hr, operation);
}

Ref<ADOField> FieldAt(ADOFields* fields, int32_t ordinal) {
  Ref<ADOField> field;
  Check(fields->get_Item(Ordinal(ordinal), field.Put()), "Fields.Item");
  return field;
}

// Writes the rows into the open, empty set. Every AddNew comes first and the
// values after, row by row from the first: Wine's msado15 loses values when
// each row is filled right after its own AddNew (the usual order; with two
// rows the first keeps only its text, with three the second one vanishes).
// Windows' ADO saves a pending new row at the next AddNew and an edited row
// at MoveNext or MoveFirst, so there this order yields the same set as the
// usual one: the rows in payload order, each with its five values.
// A field object stands for its column at whatever row the cursor is on, so
// the five are looked up once per answer, and the one time text is rewritten
// in place for every row: ADO keeps a copy of each value put.
void WriteRows(_ADORecordset* set, std::span<const PriceChannelRow> rows) {
  if (rows.empty()) return;
  for (size_t i = 0; i < rows.size(); ++i) Check(set->AddNew(Missing(), Missing()), "AddNew");
  Check(set->MoveFirst(), "MoveFirst");
  Ref<ADOField> columns[kPriceChannelFields.size()];
  {
    Ref<ADOFields> fields;
    Check(set->get_Fields(fields.Put()), "Fields");
    for (size_t k = 0; k < kPriceChannelFields.size(); ++k) columns[k] = FieldAt(fields.Get(), static_cast<int32_t>(k));
  }
  Variant time;
  V_VT(&time) = VT_BSTR;
  V_BSTR(&time) = SysAllocStringLen(nullptr, kTimeLength);
  if (V_BSTR(&time) == nullptr) throw Failure(kOutOfMemory, kRuntimeSource, "Out of memory");
  VARIANT price;
  VariantInit(&price);
  V_VT(&price) = VT_R4;
  for (const PriceChannelRow& row : rows) {
    std::copy(row.Time.begin(), row.Time.end(), reinterpret_cast<char16_t*>(V_BSTR(&time)));
    Check(columns[0]->put_Value(*time), "Field.Value");
    const float prices[] = {row.BuyReferencePrice, row.SellReferencePrice, row.Price, row.PriceOffsetPercent};
    for (size_t k = 0; k < 4; ++k) {
      V_R4(&price) = prices[k];
      Check(columns[k + 1]->put_Value(price), "Field.Value");
    }
    Check(set->MoveNext(), "MoveNext");
  }
  Check(set->MoveFirst(), "MoveFirst");
}

class AdoRecordSet final : public RecordSet {
 public:
  explicit AdoRecordSet(Ref<_ADORecordset> set) : set_(std::move(set)) {}

  _ADORecordset* Recordset() const { return set_.Get(); }

  void Load(const PriceChannelRows& rows) override {
    std::vector<PriceChannelRow> decoded(rows.Count());
    rows.DecodeInto(decoded);
    Check(set_->put_CursorLocation(adUseClient), "CursorLocation");
    Check(set_->put_CursorType(adOpenDynamic), "CursorType");
    // Wine's msado15 does not implement LockType (E_NOTIMPL) and its client
    // sets take new and changed rows all the same; any other failure counts.
    if (const HRESULT hr = set_->put_LockType(adLockOptimistic); hr != E_NOTIMPL) Check(hr, "LockType");
    {
      Ref<ADOFields> fields;
      Check(set_->get_Fields(fields.Put()), "Fields");
      for (const FieldInfo& info : kPriceChannelFields) {
        const BSTR name = SysAllocString(reinterpret_cast<const OLECHAR*>(info.name));
        const HRESULT hr = fields->Append(name, static_cast<DataTypeEnum>(info.type), 0, adFldUnspecified, Missing());
        SysFreeString(name);
        Check(hr, "Fields.Append");
      }
    }
    Check(set_->Open(Missing(), Missing(), adOpenUnspecified, adLockUnspecified, adCmdUnspecified), "Open");
    WriteRows(set_.Get(), decoded);
  }

  int32_t FieldCount() const override {
    long count = 0;
    Check(Fields()->get_Count(&count), "Fields.Count");
    return static_cast<int32_t>(count);
  }

  FieldInfo Field(int32_t ordinal) const override {
    const Ref<ADOField> field = FieldAt(Fields().Get(), ordinal);
    BSTR name = nullptr;
    Check(field->get_Name(&name), "Field.Name");
    Text& stored = names_[ordinal];
    stored = name != nullptr ? FromWide(name, SysStringLen(name)) : Text();
    SysFreeString(name);
    DataTypeEnum type = adEmpty;
    Check(field->get_Type(&type), "Field.Type");
    return FieldInfo{stored.c_str(), static_cast<FieldType>(type)};
  }

  int32_t RecordCount() const override {
    ADO_LONGPTR count = 0;
    Check(set_->get_RecordCount(&count), "RecordCount");
    return static_cast<int32_t>(std::clamp<ADO_LONGPTR>(count, -1, std::numeric_limits<int32_t>::max()));
  }

  bool Eof() const override {
    VARIANT_BOOL eof = VARIANT_TRUE;
    Check(set_->get_EOF(&eof), "EOF");
    return eof != VARIANT_FALSE;
  }

  // An empty set has no first row to move to; that is no failure here.
  void MoveFirst() override {
    if (RecordCount() != 0) Check(set_->MoveFirst(), "MoveFirst");
  }

  void MoveNext() override { Check(set_->MoveNext(), "MoveNext"); }

  PriceChannelRow Row() const override {
    if (Eof()) throw Failure(kNoCurrentRecord, kAdoSource, kNoCurrentRecordText);
    const Ref<ADOFields> fields = Fields();
    PriceChannelRow row{};
    Variant time;
    Check(FieldAt(fields.Get(), 0)->get_Value(&time), "Field.Value");
    if (V_VT(&time) != VT_BSTR) Check(VariantChangeType(&time, &time, 0, VT_BSTR), "Field.Value");
    std::copy_n(reinterpret_cast<const char16_t*>(V_BSTR(&time)),
                std::min<size_t>(SysStringLen(V_BSTR(&time)), kTimeLength), row.Time.begin());
    float* prices[] = {&row.BuyReferencePrice, &row.SellReferencePrice, &row.Price, &row.PriceOffsetPercent};
    for (int32_t k = 0; k < 4; ++k) {
      Variant value;
      Check(FieldAt(fields.Get(), k + 1)->get_Value(&value), "Field.Value");
      if (V_VT(&value) != VT_R4) Check(VariantChangeType(&value, &value, 0, VT_R4), "Field.Value");
      *prices[k] = V_R4(&value);
    }
    return row;
  }

  size_t GetRows(std::span<PriceChannelRow> into) override {
    size_t copied = 0;
    while (copied < into.size() && !Eof()) {
      into[copied++] = Row();
      MoveNext();
    }
    return copied;
  }

 private:
  Ref<ADOFields> Fields() const {
    Ref<ADOFields> fields;
    Check(set_->get_Fields(fields.Put()), "Fields");
    return fields;
  }

  Ref<_ADORecordset> set_;
  // Field() hands out names that live as long as the set.
  mutable std::map<int32_t, Text> names_;
};

// Anything else a host left in an object argument.
class ForeignObject final : public HostObject {
 public:
  explicit ForeignObject(IDispatch* object) : object_(object) { object_->AddRef(); }
  ~ForeignObject() override { object_->Release(); }
  ForeignObject(const ForeignObject&) = delete;
  ForeignObject& operator=(const ForeignObject&) = delete;

 private:
  IDispatch* object_;
};

}  // namespace

std::shared_ptr<RecordSet> AdoRecordSetFactory::Create() {
  constexpr const char* kCreate = "CreateObject(\"ADODB.Recordset\")";
  Ref<_ADORecordset> set;
  const DWORD thread = GetCurrentThreadId();
  if (class_object_ && class_object_thread_ == thread) {
    Check(class_object_->CreateInstance(nullptr, kIidRecordset, reinterpret_cast<void**>(set.Put())), kCreate);
  } else {
    // The class object belongs to the apartment it was taken in; another
    // thread takes its own, and only the first one is kept.
    Ref<IClassFactory> class_object;
    Check(CoGetClassObject(kClsidRecordset, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                           reinterpret_cast<void**>(class_object.Put())),
          kCreate);
    Check(class_object->CreateInstance(nullptr, kIidRecordset, reinterpret_cast<void**>(set.Put())), kCreate);
    if (!class_object_) {
      class_object_ = std::move(class_object);
      class_object_thread_ = thread;
    }
  }
  return std::make_shared<AdoRecordSet>(std::move(set));
}

}  // namespace moravex::windows

IDispatch* RecordsetDispatch(const moravex::HostObject* object) {
  const auto* set = dynamic_cast<const moravex::windows::AdoRecordSet*>(object);
  if (set == nullptr) return nullptr;
  IDispatch* dispatch = nullptr;
  if (FAILED(set->Recordset()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) return nullptr;
  return dispatch;
}

std::shared_ptr<moravex::HostObject> HostObjectFromDispatch(IDispatch* object) {
  using namespace moravex::windows;
  if (object == nullptr) return nullptr;
  Ref<_ADORecordset> set;
  if (SUCCEEDED(object->QueryInterface(kIidRecordset, reinterpret_cast<void**>(set.Put()))) && set.Get() != nullptr) {
    return std::make_shared<AdoRecordSet>(std::move(set));
  }
  return std::make_shared<ForeignObject>(object);
}
