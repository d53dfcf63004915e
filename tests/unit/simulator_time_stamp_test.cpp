#include <gtest/gtest.h>

#include "tools/simulator/session_clock.h"
#include "tools/simulator/time_stamp.h"

namespace moravex::sim {
namespace {

constexpr int Hms(int h, int m, int s) { return h * 3600 + m * 60 + s; }

TEST(SimulatorTimeStamp, ReadsTheLastTimeGroupInCommonFormats) {
  EXPECT_EQ(ParseTimeOfDay("2026-12-08 09:30:00"), Hms(9, 30, 0));
  EXPECT_EQ(ParseTimeOfDay("12/8/2026 9:30:00 AM"), Hms(9, 30, 0));
  EXPECT_EQ(ParseTimeOfDay("12/8/2026 3:57:10 PM"), Hms(15, 57, 10));
  EXPECT_EQ(ParseTimeOfDay("12/8/2026 3:57:10 pm"), Hms(15, 57, 10));
  EXPECT_EQ(ParseTimeOfDay("12/8/2026 3:57:10PM"), Hms(15, 57, 10));
  EXPECT_EQ(ParseTimeOfDay("09:30:00"), Hms(9, 30, 0));
  EXPECT_EQ(ParseTimeOfDay("15:57"), Hms(15, 57, 0));
  EXPECT_EQ(ParseTimeOfDay("12:05 AM"), Hms(0, 5, 0));
  EXPECT_EQ(ParseTimeOfDay("12:05 PM"), Hms(12, 5, 0));
  EXPECT_EQ(ParseTimeOfDay("from 10:00 to 11:15:30"), Hms(11, 15, 30));
  EXPECT_EQ(ParseTimeOfDay("2026-12-08T16:00:00Z"), Hms(16, 0, 0));
}

TEST(SimulatorTimeStamp, FindsNoTimeInTextWithoutAValidGroup) {
  EXPECT_EQ(ParseTimeOfDay(""), std::nullopt);
  EXPECT_EQ(ParseTimeOfDay("garbage"), std::nullopt);
  EXPECT_EQ(ParseTimeOfDay("12/8/2026"), std::nullopt);
  EXPECT_EQ(ParseTimeOfDay("123:45"), std::nullopt);  // three hour digits
  EXPECT_EQ(ParseTimeOfDay("9:3"), std::nullopt);     // one minute digit
  EXPECT_EQ(ParseTimeOfDay("25:00:00"), std::nullopt);
  EXPECT_EQ(ParseTimeOfDay("10:60"), std::nullopt);
  EXPECT_EQ(ParseTimeOfDay("13:00 PM"), std::nullopt);
  EXPECT_EQ(ParseTimeOfDay("0:30 AM"), std::nullopt);
}

TEST(SimulatorSessionClock, ParsesAndFormatsTheFixedClock) {
  const auto clock = ParseClock("2026-12-08 09:45:00");
  ASSERT_TRUE(clock);
  EXPECT_EQ(FormatDateTime(*clock), "12/08/2026 09:45:00");
  EXPECT_EQ(FormatDate(*clock), "12/08/2026");
  EXPECT_EQ(FormatTime(*clock), "09:45:00");
  EXPECT_TRUE(ParseClock("2024-02-29T23:59:59"));
  EXPECT_FALSE(ParseClock("2026-02-29 10:00:00"));
  EXPECT_FALSE(ParseClock("2026-13-01 10:00:00"));
  EXPECT_FALSE(ParseClock("2026-12-08 24:00:00"));
  EXPECT_FALSE(ParseClock("2026-12-08 9:45:00"));
  EXPECT_FALSE(ParseClock("12/08/2026 09:45:00"));
}

TEST(SimulatorSessionClock, RowsRunUpToTheClockWithinSessionHours) {
  EXPECT_EQ(SessionClock(ParseClock("2026-12-08 09:45:00")).AvailableRows(), 16);
  EXPECT_EQ(SessionClock(ParseClock("2026-12-08 09:30:59")).AvailableRows(), 1);
  EXPECT_EQ(SessionClock(ParseClock("2026-12-08 16:00:00")).AvailableRows(), 391);
  EXPECT_EQ(SessionClock(ParseClock("2026-12-08 08:00:00")).AvailableRows(), 391);
  EXPECT_EQ(SessionClock(ParseClock("2026-12-08 16:45:00")).AvailableRows(), 391);
  EXPECT_EQ(SessionClock(ParseClock("2026-12-08 09:45:00")).Now().SecondsOfDay(), Hms(9, 45, 0));
  const int real_rows = SessionClock().AvailableRows();
  EXPECT_GE(real_rows, 1);
  EXPECT_LE(real_rows, 391);
}

}  // namespace
}  // namespace moravex::sim
