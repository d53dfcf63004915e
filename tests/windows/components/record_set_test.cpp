// The ADO record set, read back through its read side and through ADO itself.
#include "windows/com/windows_headers.h"
#include <adoint.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "windows/components/ado_record_set.h"
#include "platform/failure.h"
#include "platform/record_set.h"

namespace moravex::windows {
namespace {

constexpr GUID kIidRecordset = {0x00000556, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

struct Rows final : PriceChannelRows {
  std::vector<PriceChannelRow> rows;
  size_t Count() const override { return rows.size(); }
  void DecodeInto(std::span<PriceChannelRow> into) const override { std::copy(rows.begin(), rows.end(), into.begin()); }
};

Rows MakeRows(size_t n) {
  Rows rows;
  for (size_t i = 0; i < n; ++i) {
    // Spaces and a zero stay in the text; a subnormal price passes bit for bit.
    const std::u16string time =
        i % 2 == 0 ? u"09:3" + std::u16string(1, char16_t(u'0' + i % 10)) + u"   " : std::u16string(u"10:00\0:1", 8);
    PriceChannelRow row{{},
                        100.25f + static_cast<float>(i),
                        -1.5f * static_cast<float>(i),
                        i == 1 ? 1e-40f : 3.0f,
                        static_cast<float>(i) / 7.0f};
    std::copy(time.begin(), time.end(), row.Time.begin());
    rows.rows.push_back(row);
  }
  return rows;
}

bool Same(const PriceChannelRow& a, const PriceChannelRow& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The field's value, name and type through ADO's own vtable, as a host reads them.
VARIANT AdoField(_ADORecordset* set, int ordinal, std::u16string* name = nullptr, DataTypeEnum* type = nullptr) {
  ADOFields* fields = nullptr;
  ADOField* field = nullptr;
  VARIANT index, value;
  VariantInit(&value);
  V_VT(&index) = VT_I2;
  V_I2(&index) = static_cast<SHORT>(ordinal);
  EXPECT_EQ(set->get_Fields(&fields), S_OK);
  EXPECT_EQ(fields->get_Item(index, &field), S_OK);
  EXPECT_EQ(field->get_Value(&value), S_OK);
  BSTR text = nullptr;
  if (name != nullptr && field->get_Name(&text) == S_OK) *name = reinterpret_cast<char16_t*>(text);
  if (type != nullptr) field->get_Type(type);
  SysFreeString(text);
  field->Release();
  fields->Release();
  return value;
}

void ExpectAdoView(IDispatch* dispatch, const std::vector<PriceChannelRow>& rows) {
  _ADORecordset* set = nullptr;
  ASSERT_EQ(dispatch->QueryInterface(kIidRecordset, reinterpret_cast<void**>(&set)), S_OK);
  ADO_LONGPTR count = -2;
  EXPECT_EQ(set->get_RecordCount(&count), S_OK);
  EXPECT_EQ(count, static_cast<ADO_LONGPTR>(rows.size()));
  // No MoveFirst: the cursor must already be on the first row.
  for (const PriceChannelRow& row : rows) {
    PriceChannelRow seen{};
    float* prices[] = {&seen.BuyReferencePrice, &seen.SellReferencePrice, &seen.Price, &seen.PriceOffsetPercent};
    for (int k = 0; k < 5; ++k) {
      std::u16string name;
      DataTypeEnum type = adEmpty;
      VARIANT value = AdoField(set, k, &name, &type);
      EXPECT_EQ(name, kPriceChannelFields[k].name);
      EXPECT_EQ(static_cast<int>(type), static_cast<int>(kPriceChannelFields[k].type));
      if (k == 0) {
        ASSERT_EQ(V_VT(&value), VT_BSTR);
        ASSERT_EQ(SysStringLen(V_BSTR(&value)), kTimeLength);
        std::memcpy(seen.Time.data(), V_BSTR(&value), sizeof seen.Time);
      } else {
        ASSERT_EQ(V_VT(&value), VT_R4);
        *prices[k - 1] = V_R4(&value);
      }
      VariantClear(&value);
    }
    EXPECT_TRUE(Same(seen, row));
    set->MoveNext();
  }
  VARIANT_BOOL eof = VARIANT_FALSE;
  set->get_EOF(&eof);
  EXPECT_NE(eof, VARIANT_FALSE);
  set->Release();
}

TEST(RecordSetTest, RowsReadBackInOrderThroughTheReadSideAndThroughAdo) {
  AdoRecordSetFactory factory;
  for (size_t n : {0u, 2u, 3u, 50u}) {
    SCOPED_TRACE(n);
    const Rows rows = MakeRows(n);
    const auto set = factory.Create();
    set->Load(rows);
    ASSERT_EQ(set->FieldCount(), 5);
    for (int k = 0; k < 5; ++k) {
      EXPECT_EQ(std::u16string(set->Field(k).name), kPriceChannelFields[k].name);
      EXPECT_EQ(set->Field(k).type, kPriceChannelFields[k].type);
    }
    EXPECT_EQ(set->RecordCount(), static_cast<int32_t>(n));
    EXPECT_EQ(set->Eof(), n == 0);
    if (n > 0) {
      EXPECT_TRUE(Same(set->Row(), rows.rows[0]));
    }
    IDispatch* dispatch = RecordsetDispatch(set.get());
    ASSERT_NE(dispatch, nullptr);
    ExpectAdoView(dispatch, rows.rows);

    // What the host leaves in the argument comes back as a record set over the same object.
    const auto back = std::dynamic_pointer_cast<RecordSet>(HostObjectFromDispatch(dispatch));
    dispatch->Release();
    ASSERT_NE(back, nullptr);
    back->MoveFirst();
    std::vector<PriceChannelRow> read(n + 1);
    EXPECT_EQ(back->GetRows(read), n);
    for (size_t i = 0; i < n; ++i) EXPECT_TRUE(Same(read[i], rows.rows[i])) << i;
    EXPECT_TRUE(back->Eof());
    try {
      back->Row();
      ADD_FAILURE() << "a row past the end";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.Number(), kNoCurrentRecord);
    }
  }
}

TEST(RecordSetTest, NullAndForeignObjectsAreNoRecordSets) {
  EXPECT_EQ(HostObjectFromDispatch(nullptr), nullptr);
  // Any automation object other than a record set.
  const CLSID connection = {0x00000514, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  IDispatch* foreign = nullptr;
  ASSERT_EQ(
      CoCreateInstance(connection, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&foreign)),
      S_OK);
  const auto object = HostObjectFromDispatch(foreign);
  foreign->Release();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(dynamic_cast<RecordSet*>(object.get()), nullptr);
  EXPECT_EQ(RecordsetDispatch(object.get()), nullptr);
}

DWORD WINAPI CreateOutsideAnApartment(void* out) {
  try {
    AdoRecordSetFactory().Create();
  } catch (const Failure& failure) {
    *static_cast<Failure*>(out) = failure;
  }
  return 0;
}

TEST(RecordSetTest, CreationOutsideAnApartmentFailsWithTheComError) {
  Failure outcome(0, "", "");
  const HANDLE thread = CreateThread(nullptr, 0, &CreateOutsideAnApartment, &outcome, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  EXPECT_EQ(outcome.Number(), static_cast<int32_t>(CO_E_NOTINITIALIZED));
  EXPECT_EQ(outcome.Source(), "ADODB.Recordset");
  EXPECT_FALSE(outcome.Description().empty());
}

// The factory keeps ADO's class object for the thread that first used it; a
// set is still new per call, and other threads go their own way to ADO.
struct OtherThread {
  AdoRecordSetFactory* factory;
  bool apartment;
  int32_t rows = -1;
  int32_t failure = 0;
};

DWORD WINAPI CreateOnOtherThread(void* argument) {
  auto& job = *static_cast<OtherThread*>(argument);
  if (job.apartment) CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  try {
    const auto set = job.factory->Create();
    set->Load(MakeRows(2));
    job.rows = set->RecordCount();
  } catch (const Failure& failure) {
    job.failure = failure.Number();
  }
  if (job.apartment) CoUninitialize();
  return 0;
}

TEST(RecordSetTest, OneFactoryMakesANewSetPerCallOnEveryApartmentThread) {
  AdoRecordSetFactory factory;
  const auto first = factory.Create();
  first->Load(MakeRows(3));
  const auto second = factory.Create();
  second->Load(MakeRows(1));
  IDispatch* a = RecordsetDispatch(first.get());
  IDispatch* b = RecordsetDispatch(second.get());
  EXPECT_NE(a, b);
  a->Release();
  b->Release();
  EXPECT_EQ(first->RecordCount(), 3);
  EXPECT_EQ(second->RecordCount(), 1);

  for (const bool apartment : {true, false}) {
    SCOPED_TRACE(apartment);
    OtherThread job{&factory, apartment};
    const HANDLE thread = CreateThread(nullptr, 0, &CreateOnOtherThread, &job, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    // Outside an apartment the kept class object must not stand in for COM.
    EXPECT_EQ(job.rows, apartment ? 2 : -1);
    EXPECT_EQ(job.failure, apartment ? 0 : static_cast<int32_t>(CO_E_NOTINITIALIZED));
  }
  // The first thread's class object still serves it.
  const auto third = factory.Create();
  third->Load(MakeRows(50));
  EXPECT_EQ(third->RecordCount(), 50);
}

}  // namespace
}  // namespace moravex::windows
