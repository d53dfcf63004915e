// The ADO record set, read back through its read side and through ADO itself.
#include <winsock2.h>
#include <windows.h>
#include <oleauto.h>
#include <adoint.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "components/ado_record_set.h"
#include "platform/failure.h"

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
    PriceChannelRow row{};
    // Spaces and a zero stay in the text.
    const std::u16string time = i % 2 == 0 ? u"09:3" + std::u16string(1, char16_t(u'0' + i % 10)) + u"   "
                                           : std::u16string(u"10:00\0:1", 8);
    std::copy(time.begin(), time.end(), row.Time.begin());
    row.BuyReferencePrice = 100.25f + static_cast<float>(i);
    row.SellReferencePrice = -1.5f * static_cast<float>(i);
    row.Price = i == 1 ? 1e-40f : 3.0f;  // a subnormal goes through bit for bit
    row.PriceOffsetPercent = static_cast<float>(i) / 7.0f;
    rows.rows.push_back(row);
  }
  return rows;
}

bool Same(const PriceChannelRow& a, const PriceChannelRow& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Walks the set through ADO's own vtable, as a host would.
void ExpectAdoView(IDispatch* dispatch, const std::vector<PriceChannelRow>& rows) {
  _ADORecordset* set = nullptr;
  ASSERT_EQ(dispatch->QueryInterface(kIidRecordset, reinterpret_cast<void**>(&set)), S_OK);
  ADO_LONGPTR count = -2;
  EXPECT_EQ(set->get_RecordCount(&count), S_OK);
  EXPECT_EQ(count, static_cast<ADO_LONGPTR>(rows.size()));
  ADOFields* fields = nullptr;
  ASSERT_EQ(set->get_Fields(&fields), S_OK);
  long field_count = 0;
  fields->get_Count(&field_count);
  EXPECT_EQ(field_count, 5);
  auto field = [&](int ordinal) {
    VARIANT index;
    V_VT(&index) = VT_I2;
    V_I2(&index) = static_cast<SHORT>(ordinal);
    ADOField* item = nullptr;
    EXPECT_EQ(fields->get_Item(index, &item), S_OK);
    return item;
  };
  for (int k = 0; k < 5; ++k) {
    ADOField* item = field(k);
    BSTR name = nullptr;
    DataTypeEnum type = adEmpty;
    item->get_Name(&name);
    item->get_Type(&type);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(name)), kPriceChannelFields[k].name);
    EXPECT_EQ(static_cast<int>(type), static_cast<int>(kPriceChannelFields[k].type));
    SysFreeString(name);
    item->Release();
  }
  // No MoveFirst: the cursor must already be on the first row.
  for (const PriceChannelRow& row : rows) {
    VARIANT_BOOL eof = VARIANT_TRUE;
    set->get_EOF(&eof);
    ASSERT_EQ(eof, VARIANT_FALSE);
    PriceChannelRow seen{};
    VARIANT value;
    VariantInit(&value);
    ADOField* item = field(0);
    item->get_Value(&value);
    item->Release();
    ASSERT_EQ(V_VT(&value), VT_BSTR);
    ASSERT_EQ(SysStringLen(V_BSTR(&value)), kTimeLength);
    std::memcpy(seen.Time.data(), V_BSTR(&value), sizeof seen.Time);
    VariantClear(&value);
    float* prices[] = {&seen.BuyReferencePrice, &seen.SellReferencePrice, &seen.Price, &seen.PriceOffsetPercent};
    for (int k = 0; k < 4; ++k) {
      item = field(k + 1);
      item->get_Value(&value);
      item->Release();
      ASSERT_EQ(V_VT(&value), VT_R4);
      *prices[k] = V_R4(&value);
    }
    EXPECT_TRUE(Same(seen, row));
    set->MoveNext();
  }
  VARIANT_BOOL eof = VARIANT_FALSE;
  set->get_EOF(&eof);
  EXPECT_NE(eof, VARIANT_FALSE);
  fields->Release();
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

    // The host's object comes back as a record set over the same ADO object.
    const auto back = std::dynamic_pointer_cast<RecordSet>(HostObjectFromDispatch(dispatch));
    dispatch->Release();
    ASSERT_NE(back, nullptr);
    back->MoveFirst();
    std::vector<PriceChannelRow> read(n + 1);
    EXPECT_EQ(back->GetRows(read), n);
    for (size_t i = 0; i < n; ++i) EXPECT_TRUE(Same(read[i], rows.rows[i])) << i;
    EXPECT_TRUE(back->Eof());
    EXPECT_EQ(back->GetRows(read), 0u);
    try {
      back->Row();
      ADD_FAILURE() << "a row past the end";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.Number(), static_cast<int32_t>(0x800A0BCDu));
    }
  }
}

// Any other automation object the host may leave in the argument.
struct Foreign final : IDispatch {
  ULONG references = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown || iid == IID_IDispatch ? this : nullptr;
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
};

TEST(RecordSetTest, ForeignAndNullObjectsAreNoRecordSets) {
  EXPECT_EQ(HostObjectFromDispatch(nullptr), nullptr);
  Foreign foreign;
  {
    const auto object = HostObjectFromDispatch(&foreign);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(dynamic_cast<RecordSet*>(object.get()), nullptr);
    EXPECT_EQ(RecordsetDispatch(object.get()), nullptr);
    EXPECT_EQ(foreign.references, 2u);
  }
  EXPECT_EQ(foreign.references, 1u);
}

}  // namespace
}  // namespace moravex::windows
