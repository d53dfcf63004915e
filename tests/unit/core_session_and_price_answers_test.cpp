// Answers carrying session text and previous-session prices: gating by the
// pending flag, empty payloads, exact bytes and short payloads.
#include <gtest/gtest.h>

#include "tests/support/test_client.h"

namespace moravex {
namespace {

using Lines = std::vector<std::string>;

class CoreAnswer : public ::testing::Test {
 protected:
  void SetUp() override { tc.ConnectAndLogin(); }
  TestClient tc;
};

TEST_F(CoreAnswer, SessionTextAnswersReachTheirOwnEvents) {
  tc->GetSessionDateTime();
  tc->GetSessionDate();
  tc->GetSessionTime();
  tc.Answer(4, AnsiBytes("09:30:00"));
  tc.Answer(2, AnsiBytes("2026-12-08 09:30:00"));
  tc.Answer(3, AnsiBytes("2026-12-08"));
  EXPECT_EQ(tc.events.Take(), (Lines{R"(GotSessionTime("09:30:00"))", R"(GotSessionDateTime("2026-12-08 09:30:00"))",
                                     R"(GotSessionDate("2026-12-08"))"}));
  EXPECT_FALSE(tc.AnyPending());
}

TEST_F(CoreAnswer, SessionTextKeepsEveryByteAndAnEmptyPayloadIsEmptyText) {
  tc->GetSessionTime();
  tc.Answer(4, {});
  tc->GetSessionTime();
  tc.Answer(4, {'A', 'B', 0, ' ', 0x80, 0xE9});
  EXPECT_EQ(tc.events.Take(), (Lines{R"(GotSessionTime(""))", "GotSessionTime(\"AB\\x00 \u20AC\u00E9\")"}));
}

TEST_F(CoreAnswer, AnswerOfAnotherKindIsDroppedAndTheRequestStaysPending) {
  tc->GetSessionTime();
  tc.Answer(2, AnsiBytes("2026-12-08 09:30:00"));
  tc.Answer(3, AnsiBytes("2026-12-08"));
  EXPECT_TRUE(tc.events.Lines().empty());
  EXPECT_TRUE(tc.IsPending(Pending::SessionTime));
  EXPECT_FALSE(tc.IsPending(Pending::SessionDate));
  EXPECT_FALSE(tc.IsPending(Pending::SessionDateTime));
}

TEST_F(CoreAnswer, TwoPendingAnswersOfDifferentKindsArriveInOrder) {
  tc->GetPreviousSessionsLowPrice(u"IBM");
  tc->GetSessionDate();
  tc.socket->Arrive(Concat({Frame(3, AnsiBytes("d")), Frame(9, SingleBytes(2.25f))}));
  EXPECT_EQ(tc.events.Take(), (Lines{R"(GotSessionDate("d"))", "GotPreviousSessionsLowPrice(2.25)"}));
}

TEST_F(CoreAnswer, SinglePriceAnswers) {
  tc->GetPreviousSessionsLastAverageVantrelPrice(u"IBM");
  tc->GetPreviousSessionsHighPrice(u"IBM");
  tc->GetPreviousSessionsLowPrice(u"IBM");
  tc->GetPreviousSessionsClosingPrice(u"IBM");
  tc.Answer(8, {});                                                // empty means 0
  tc.Answer(7, Concat({SingleBytes(12.5f), SingleBytes(99.0f)}));  // the rest is ignored
  tc.Answer(9, SingleBytes(-3.0f));
  tc.Answer(10, SingleBytes(1e-3f));
  EXPECT_EQ(tc.events.Take(),
            (Lines{"GotPreviousSessionsHighPrice(0)", "GotPreviousSessionsLastAverageVantrelPrice(12.5)",
                   "GotPreviousSessionsLowPrice(-3)", "GotPreviousSessionsClosingPrice(0.001)"}));
  EXPECT_FALSE(tc.AnyPending());
}

TEST_F(CoreAnswer, SupportAndResistancePricesInPayloadOrder) {
  tc->GetPreviousSessionsSupportAndResistancePrices(u"IBM");
  tc.Answer(11, Concat({SingleBytes(1.5f), SingleBytes(2.5f), SingleBytes(0.5f), SingleBytes(1.0f)}));
  tc->GetPreviousSessionsSupportAndResistancePrices(u"IBM");
  tc.Answer(11, {});
  EXPECT_EQ(tc.events.Take(), (Lines{"GotPreviousSessionsSupportAndResistancePrices(1.5, 2.5, 0.5, 1)",
                                     "GotPreviousSessionsSupportAndResistancePrices(0, 0, 0, 0)"}));
}

TEST_F(CoreAnswer, PriceOneByteShortIsAnErrorAndNeverTimesOut) {
  const Lines error = {R"(Error(InternalError, "Subscript out of range"))"};
  for (uint8_t type = 7; type <= 10; ++type) {
    for (size_t size = 1; size <= 3; ++size) {
      tc->GetPreviousSessionsLastAverageVantrelPrice(u"IBM");
      tc->GetPreviousSessionsHighPrice(u"IBM");
      tc->GetPreviousSessionsLowPrice(u"IBM");
      tc->GetPreviousSessionsClosingPrice(u"IBM");
      tc.Answer(type, Bytes(size, 0x3F));
      EXPECT_EQ(tc.events.Take(), error) << int{type} << "/" << size;
      // Clear the three others for the next round.
      for (uint8_t other = 7; other <= 10; ++other) {
        if (other != type) tc.Answer(other, {});
      }
      tc.events.Take();
    }
  }
  for (size_t size : {1u, 4u, 14u, 15u}) {
    tc->GetPreviousSessionsSupportAndResistancePrices(u"IBM");
    tc.Answer(11, Bytes(size, 0x3F));
    EXPECT_EQ(tc.events.Take(), error) << size;
    EXPECT_FALSE(tc.IsPending(Pending::PreviousSessionsSupportAndResistancePrices));
  }
  EXPECT_TRUE(tc.session_timer->Tick());
  EXPECT_TRUE(tc.events.Lines().empty());
  EXPECT_EQ(tc.socket->State(), kSocketConnected);
}

TEST_F(CoreAnswer, PriceAnswerWithoutRequestIsDropped) {
  tc.Answer(8, SingleBytes(1.0f));
  tc.Answer(11, {});
  tc->GetPreviousSessionsHighPrice(u"IBM");
  tc.Answer(8, SingleBytes(4.0f));
  tc.Answer(8, SingleBytes(5.0f));  // a second answer to one request
  EXPECT_EQ(tc.events.Take(), Lines{"GotPreviousSessionsHighPrice(4)"});
}

}  // namespace
}  // namespace moravex
