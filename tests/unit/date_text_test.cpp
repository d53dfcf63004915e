#include "native/date_text.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

namespace moravex {
namespace {

Text Widen(std::string_view ascii) { return Text(ascii.begin(), ascii.end()); }

void ExpectAccepted(std::initializer_list<std::string_view> texts) {
  for (std::string_view text : texts) EXPECT_TRUE(IsEnUsDateText(Widen(text))) << '"' << text << '"';
}

void ExpectRefused(std::initializer_list<std::string_view> texts) {
  for (std::string_view text : texts) EXPECT_FALSE(IsEnUsDateText(Widen(text))) << '"' << text << '"';
}

TEST(DateTextTest, IsoDatesWithOptionalTime) {
  ExpectAccepted({"2026-12-08", "2026-12-08 09:30:00", "2026-12-08 9:30", "2026-12-8", "2026/12/08",
                  "2026-12-08T09:30:00", "2026-12-08T9:30", "2026-12-08 9:30 PM", "  2026-12-08 09:30:00\t"});
  ExpectRefused({"2026-12/08", "2026 -12-08", "2026- 12-08", "2026-12-08 T09:30", "2026-12-08T 09:30", "2026-12-08T",
                 "2026-12-08TT09:30", "2026-12-0809:30", "2026-12-08 09:30:00Z", "2026-12-08 09:30:00.123",
                 "2026-12-08 09:30:00 +01:00", "2026-012-08", "20261-12-08", "0099-12-08", "2026-12", "2026-"});
}

TEST(DateTextTest, UsNumericDatesWithOptionalTime) {
  ExpectAccepted({"12/8/2026", "12/08/2026", "12/8/26", "12-8-2026", "1/1/0100", "12/31/9999", "12/8/2026 9:30",
                  "12/8/2026 09:30:00 AM", "12/8/26 9 PM", "12-8-2026 23:59:59"});
  ExpectRefused({"12/8", "12/8/", "12/8/6", "12/8/202", "12/8/20260", "12/8-2026", "12 /8/2026", "12/8/ 2026",
                 "123/8/2026", "12/8/2026T09:30", "12/8/2026,9:30", "12.8.2026", "1/1/0099", "12/8/2026 9"});
}

TEST(DateTextTest, MonthNamesAndWeekdays) {
  ExpectAccepted({"Dec 8, 2026", "December 8 2026", "8 Dec 2026", "8 December, 2026", "Dec 8 2026 9:30 PM",
                  "dec 08, 26", "DECEMBER 8 2026", "08-Dec-2026", "Dec-08-2026", "Dec 8,2026",
                  "Tuesday, December 08, 2026", "Tue Dec 8 2026", "Friday, December 08, 2026", "May 1 2026",
                  "Sep 30 2026", "September 30 2026", "Feb 29 2024 12:00 AM"});
  ExpectRefused({"Dec 2026", "Dec 8", "Decem 8 2026", "De 8 2026", "Sept 8 2026", "Dec8 2026", "8Dec 2026",
                 "Dec 8 ,2026", "Dec-8 2026", "8 Dec-2026", "Dec 8, 2026, 9:30 PM", "Dec. 8, 2026", "8 Foo 2026",
                 "Sep 31 2026", "2026 Dec 8"});
  ExpectRefused({"Tuesday", "Tuesday 9:30", "Tuesday, 9:30", "Tue-12/8/2026", "Tuesday Tuesday 12/8/2026"});
}

TEST(DateTextTest, TimesAlone) {
  ExpectAccepted({"9:30:00", "09:30", "9:30 PM", "9:30:00 AM", "9 PM", "9pm", "9:30PM", "9:30 am", "12:00 AM", "0:00",
                  "00:00:00", "23:59:59", "9:5", "09:30:00 "});
  ExpectRefused({"9", "9:", "9:30:", ":30", "9 :30", "9: 30", "9:30 :00", "9:30:00:00", "9:300", "123:30", "9:30 P",
                 "9:30 A", "9:30 a.m.", "9:30 PM PM", "12:30 PM PM", "9:30 XM", "9:30.5"});
}

TEST(DateTextTest, CalendarAndClockRanges) {
  ExpectAccepted({"2/29/2024", "2/29/2000", "2/29/00", "2/28/2025", "1/31/2026", "4/30/2026", "12/31/2026", "1/1/30",
                  "12:59 PM", "1:00 AM"});
  ExpectRefused({"13/1/2026", "0/1/2026", "1/0/2026", "2/30/2026", "2/29/2025", "2/29/1900", "2/29/30", "4/31/2026",
                 "1/32/2026", "2026-13-01", "2026-02-30", "24:00:00", "24:00", "9:60", "9:30:60", "0:30 AM", "13:00 PM",
                 "0 PM", "13 PM"});
}

TEST(DateTextTest, Refusals) {
  ExpectRefused({"", " ", "\t \t", "abc", "2026", "12", "0", "2026-12-08 09:30:00 junk", "junk 2026-12-08",
                 "9:30 12/8/2026", "12/8/2026 12/9/2026", "9:30 9:31", "2026-12-08,", "2026-12-08 09:30:00;",
                 "12/8/2026\n", "12/8/2026 \r", "1/1/12345678901234567890", "99999999999999999999:00"});
  // Blanks are spaces and tabs only; no character outside ASCII takes part in any form.
  for (const Text& text : {Text(u"12/8/2026\u00A0"), Text(u"\u30002026-12-08"), Text(u"Déc 8 2026"),
                           Text(u"12\uFF0F8\uFF0F2026"), Text(u"12/8/2026\0", 10)}) {
    EXPECT_FALSE(IsEnUsDateText(text));
  }
}

}  // namespace
}  // namespace moravex
