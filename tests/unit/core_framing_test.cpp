// The bytes each request puts on the wire: header layout, little-endian
// lengths, ticker fields and one write per frame.
#include <gtest/gtest.h>

#include "tests/support/test_client.h"

namespace moravex {
namespace {

class CoreFraming : public ::testing::Test {
 protected:
  void SetUp() override { tc.ConnectAndLogin(); }
  TestClient tc;
};

TEST_F(CoreFraming, SessionRequestsAreBareSixByteHeaders) {
  tc->GetSessionDateTime();
  tc->GetSessionDate();
  tc->GetSessionTime();
  EXPECT_EQ(Hex(tc.Sent()), "02 00 00 00 00 00 03 00 00 00 00 00 04 00 00 00 00 00");
  EXPECT_EQ(tc.socket->Writes().size(), 3u);
}

TEST_F(CoreFraming, FullDataRequestMatchesTheWorkedExample) {
  tc->GetFullPriceChannelData(u"IBM", 500);
  EXPECT_EQ(Hex(tc.Sent()), "05 00 0A 00 00 00 20 20 20 49 42 4D F4 01 00 00");
  ASSERT_EQ(tc.socket->Writes().size(), 1u);  // the whole frame in one write
}

TEST_F(CoreFraming, MaxChartPixelsIsSentUnchanged) {
  tc->GetFullPriceChannelData(u"ABCDEF", 0);
  EXPECT_EQ(Hex(tc.Sent()), "05 00 0A 00 00 00 41 42 43 44 45 46 00 00 00 00");
  tc.Answer(5);
  tc.Forget();
  tc->GetFullPriceChannelData(u"ABCDEF", -1);
  EXPECT_EQ(Hex(tc.Sent()), "05 00 0A 00 00 00 41 42 43 44 45 46 FF FF FF FF");
}

TEST_F(CoreFraming, UpdatesDeclareSixPlusTheStampLength) {
  tc->GetPriceChannelDataUpdates(u"MSFT", u"2026-12-08 09:30:00");
  EXPECT_EQ(tc.Sent(), Concat({Header(6, 25), AnsiBytes("  MSFT"), AnsiBytes("2026-12-08 09:30:00")}));
  EXPECT_EQ(tc.socket->Writes().size(), 1u);
}

TEST_F(CoreFraming, TickersAreRightJustifiedInSixBytes) {
  tc->GetPreviousSessionsHighPrice(u"MSFT");
  tc->GetPreviousSessionsLowPrice(u"");
  tc->GetPreviousSessionsClosingPrice(u"ABCDEF");
  tc->GetPreviousSessionsLastAverageVantrelPrice(u"X");
  tc->GetPreviousSessionsSupportAndResistancePrices(u"AB");
  EXPECT_EQ(tc.Sent(),
            Concat({Header(8, 6), AnsiBytes("  MSFT"), Header(9, 6), AnsiBytes("      "), Header(10, 6),
                    AnsiBytes("ABCDEF"), Header(7, 6), AnsiBytes("     X"), Header(11, 6), AnsiBytes("    AB")}));
}

TEST_F(CoreFraming, TickerCharactersUseTheSingleByteCodePage) {
  tc->GetFullPriceChannelData(u"\u20AC\u00E9", 1);
  EXPECT_EQ(Hex(tc.Sent()), "05 00 0A 00 00 00 20 20 20 20 80 E9 01 00 00 00");
}

TEST(CoreFramingLogin, EmptyCookieAnnouncesAndSendsSeventyThreeBytes) {
  TestClient tc;
  tc.ConnectOnly();
  tc.Forget();
  tc->Login(TestClient::kUser, TestClient::kPassword, u"");
  const Bytes expected = Concat({Header(1, 73), {1}, Bytes(36, 'U'), Bytes(36, 'P')});
  EXPECT_EQ(tc.Sent(), expected);
  EXPECT_EQ(tc.Sent().size(), 6u + 73u);
  EXPECT_EQ(tc.socket->Writes().size(), 1u);
}

TEST(CoreFramingLogin, CookieFollowsTheCredentialsAndCountsInTheLength) {
  TestClient tc;
  tc.ConnectOnly();
  tc.Forget();
  tc->Login(TestClient::kUser, TestClient::kPassword, u"cookie\u00FF");
  EXPECT_EQ(tc.Sent(), Concat({Header(1, 80), {1}, Bytes(36, 'U'), Bytes(36, 'P'), AnsiBytes("cookie\xFF")}));
}

TEST(CoreFramingDebug, LengthsAreLittleEndian) {
  TestClient tc;
  tc.ConnectOnly();  // debug text needs no login
  tc.Forget();
  tc->SendDebugMessage(Text(10, u'a'));
  EXPECT_EQ(tc.Sent(), Concat({Header(0, 10), Bytes(10, 'a')}));
  EXPECT_EQ(Hex(std::span(tc.socket->Sent()).first(6)), "00 00 0A 00 00 00");
  tc.Forget();
  tc->SendDebugMessage(Text(300, u'b'));
  EXPECT_EQ(Hex(std::span(tc.socket->Sent()).first(6)), "00 00 2C 01 00 00");
  EXPECT_EQ(tc.Sent().size(), 306u);
  tc.Forget();
  tc->SendDebugMessage(u"");
  EXPECT_EQ(Hex(tc.Sent()), "00 00 00 00 00 00");
}

TEST(CoreFramingDebug, SecondHeaderByteIsZeroInEveryOutboundMessage) {
  TestClient tc;
  tc.ConnectOnly();
  tc->SendDebugMessage(u"x");
  tc->Login(TestClient::kUser, TestClient::kPassword, u"c");
  tc.Answer(1, Concat({LongBytes(0), AnsiBytes("OK")}));
  tc->GetFullPriceChannelData(u"A", 1);
  tc->GetPriceChannelDataUpdates(u"A", u"2026-12-08 09:30:00");
  tc->GetSessionTime();
  tc->GetSessionDate();
  tc->GetSessionDateTime();
  tc->GetPreviousSessionsLastAverageVantrelPrice(u"A");
  tc->GetPreviousSessionsHighPrice(u"A");
  tc->GetPreviousSessionsLowPrice(u"A");
  tc->GetPreviousSessionsClosingPrice(u"A");
  tc->GetPreviousSessionsSupportAndResistancePrices(u"A");
  const auto& writes = tc.socket->Writes();
  ASSERT_EQ(writes.size(), 12u);
  for (size_t i = 0; i < writes.size(); ++i) {
    ASSERT_GE(writes[i].size(), 6u);
    EXPECT_EQ(writes[i][1], 0) << "write " << i;
    // Every frame carries exactly the payload it announces.
    EXPECT_EQ(Bytes(writes[i].begin() + 2, writes[i].begin() + 6),
              LongBytes(static_cast<int32_t>(writes[i].size() - 6)))
        << "write " << i;
  }
}

}  // namespace
}  // namespace moravex
