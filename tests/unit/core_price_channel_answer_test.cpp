// Price-channel answers as row tables: layout, short payloads, which event
// and flag, and what the host may leave in the by-reference argument.
#include <gtest/gtest.h>

#include "native/memory_table.h"
#include "tests/support/test_client.h"

namespace moravex {
namespace {

using Lines = std::vector<std::string>;

Bytes Row(std::string_view time, float buy, float sell, float price, float offset) {
  return Concat({AnsiBytes(time), SingleBytes(buy), SingleBytes(sell), SingleBytes(price), SingleBytes(offset)});
}

class CorePriceChannel : public ::testing::Test {
 protected:
  void SetUp() override {
    tc.ConnectAndLogin();
    tc->GetFullPriceChannelData(u"IBM", 500);
    tc->GetPriceChannelDataUpdates(u"IBM", u"2026-12-08 09:30:00");
  }
  RecordSet& LastTable() {
    auto* table = dynamic_cast<RecordSet*>(tc.events.Rows().back().get());
    EXPECT_NE(table, nullptr);
    return *table;
  }
  TestClient tc;
};

TEST_F(CorePriceChannel, EmptyPayloadGivesAnOpenEmptyTable) {
  tc.Answer(5, {});
  EXPECT_EQ(tc.events.Take(), Lines{"GotFullVantrelData(rows=0)"});
  RecordSet& table = LastTable();
  EXPECT_EQ(table.RecordCount(), 0);  // open: a closed set refuses this
  EXPECT_TRUE(table.Eof());
  EXPECT_FALSE(tc.IsPending(Pending::FullDataRequest));
  EXPECT_TRUE(tc.IsPending(Pending::DataUpdates));
}

TEST_F(CorePriceChannel, OneBytePayloadGivesAnEmptyTable) {
  tc.Answer(6, {0x41});
  EXPECT_EQ(tc.events.Take(), Lines{"GotVantrelDataUpdates(rows=0)"});
  EXPECT_FALSE(tc.IsPending(Pending::DataUpdates));
  EXPECT_TRUE(tc.IsPending(Pending::FullDataRequest));
}

TEST_F(CorePriceChannel, RecordsBecomeRowsInOrderWithTheCursorOnTheFirst) {
  tc.Answer(5, Concat({Row("09:30   ", 1.5f, 2.5f, 2.0f, -0.25f), Row("09:31:05", 3.0f, 4.0f, 3.5f, 0.75f)}));
  EXPECT_EQ(tc.events.Take(), Lines{"GotFullVantrelData(rows=2)"});
  RecordSet& table = LastTable();
  ASSERT_EQ(table.FieldCount(), 5);
  const std::vector<Text> names = {u"Time", u"BuyReferencePrice", u"SellReferencePrice", u"Price",
                                   u"PriceOffsetPercent"};
  for (int32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(Text(table.Field(i).name), names[static_cast<size_t>(i)]);
    EXPECT_EQ(table.Field(i).type, i == 0 ? FieldType::Bstr : FieldType::Single);
  }
  EXPECT_EQ(table.RecordCount(), 2);
  PriceChannelRow row = table.Row();
  EXPECT_EQ(Text(row.Time.begin(), row.Time.end()), u"09:30   ");  // spaces kept
  EXPECT_EQ(row.BuyReferencePrice, 1.5f);
  EXPECT_EQ(row.SellReferencePrice, 2.5f);
  EXPECT_EQ(row.Price, 2.0f);
  EXPECT_EQ(row.PriceOffsetPercent, -0.25f);
  table.MoveNext();
  row = table.Row();
  EXPECT_EQ(Text(row.Time.begin(), row.Time.end()), u"09:31:05");
  EXPECT_EQ(row.PriceOffsetPercent, 0.75f);
  table.MoveNext();
  EXPECT_TRUE(table.Eof());
  // The bulk read sees the same rows from the cursor on.
  table.MoveFirst();
  PriceChannelRow bulk[3];
  ASSERT_EQ(table.GetRows(bulk), 2u);
  EXPECT_EQ(bulk[1].Price, 3.5f);
  EXPECT_TRUE(table.Eof());
}

TEST_F(CorePriceChannel, OneByteTailIsIgnored) {
  tc.Answer(6, Concat({Row("09:30:00", 1, 2, 3, 4), {0xAA}}));
  EXPECT_EQ(tc.events.Take(), Lines{"GotVantrelDataUpdates(rows=1)"});
}

TEST_F(CorePriceChannel, LongerPartialRecordIsAnErrorAndTheRequestLaterTimesOut) {
  for (size_t tail : {2u, 22u, 23u}) {
    tc.Answer(5, Concat({Row("09:30:00", 1, 2, 3, 4), Bytes(tail, 0x41)}));
    EXPECT_EQ(tc.events.Take(), Lines{R"(Error(InternalError, "Subscript out of range"))"}) << tail;
    EXPECT_TRUE(tc.IsPending(Pending::FullDataRequest));
  }
  tc.Answer(6, Bytes(10, 0));
  EXPECT_EQ(tc.events.Take(), Lines{R"(Error(InternalError, "Subscript out of range"))"});
  ASSERT_TRUE(tc.data_timer->Tick());
  EXPECT_EQ(tc.events.Take(), (Lines{"Timeout(3)", "Timeout(2)"}));
}

TEST_F(CorePriceChannel, HostMayClearTheArgument) {
  tc.events.on_rows = [](ObjectRef& rows) { rows.reset(); };
  tc.Answer(5, Row("09:30:00", 1, 2, 3, 4));
  EXPECT_EQ(tc.events.Take(), Lines{"GotFullVantrelData(rows=1)"});
}

TEST_F(CorePriceChannel, ForeignObjectLeftInTheArgumentIsATypeMismatch) {
  struct Foreign : HostObject {};
  tc.events.on_rows = [](ObjectRef& rows) { rows = std::make_shared<Foreign>(); };
  tc.Answer(6, {});
  EXPECT_EQ(tc.events.Take(), (Lines{"GotVantrelDataUpdates(rows=0)", R"(Error(InternalError, "Type mismatch"))"}));
  EXPECT_FALSE(tc.IsPending(Pending::DataUpdates));
}

TEST_F(CorePriceChannel, AnotherRecordSetLeftInTheArgumentIsAccepted) {
  tc.events.on_rows = [](ObjectRef& rows) { rows = std::make_shared<MemoryTable>(); };
  tc.Answer(6, {});
  EXPECT_EQ(tc.events.Take(), Lines{"GotVantrelDataUpdates(rows=0)"});
}

TEST_F(CorePriceChannel, RecordSetCreationFailureIsAnErrorThenATimeout) {
  tc.record_sets->FailWith("ADODB.Recordset", "Class not registered");
  tc.Answer(5, Row("09:30:00", 1, 2, 3, 4));
  EXPECT_EQ(tc.events.Take(), Lines{R"(Error(InternalError, "Class not registered"))"});
  EXPECT_TRUE(tc.IsPending(Pending::FullDataRequest));
  tc.Answer(6, {});
  EXPECT_EQ(tc.events.Take(), Lines{R"(Error(InternalError, "Class not registered"))"});
  ASSERT_TRUE(tc.data_timer->Tick());
  EXPECT_EQ(tc.events.Take(), (Lines{"Timeout(3)", "Timeout(2)"}));
}

TEST_F(CorePriceChannel, EachAnswerGetsANewTable) {
  tc.Answer(5, Row("09:30:00", 1, 2, 3, 4));
  tc.Answer(6, Row("09:30:01", 1, 2, 3, 4));
  EXPECT_EQ(tc.events.Take(), (Lines{"GotFullVantrelData(rows=1)", "GotVantrelDataUpdates(rows=1)"}));
  ASSERT_EQ(tc.events.Rows().size(), 2u);
  EXPECT_NE(tc.events.Rows()[0], tc.events.Rows()[1]);
  EXPECT_EQ(tc.record_sets->Created(), 2);
  // The host holds the only references once the events have returned.
  EXPECT_EQ(tc.events.Rows()[0].use_count(), 1);
}

}  // namespace
}  // namespace moravex
