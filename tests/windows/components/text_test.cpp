// ANSI conversions in the system code page and the date test.
#include "windows/com/windows_headers.h"

#include <gtest/gtest.h>

#include "windows/components/ansi_conversion.h"
#include "windows/components/system_text.h"

namespace moravex::windows {
namespace {

TEST(TextTest, EveryTableCharacterConvertsBackToItsByteAndOthersAreRefused) {
  const AnsiConversion text;
  const auto& table = text.AnsiCharacters();
  EXPECT_EQ(&table, &AnsiConversion().AnsiCharacters());
  EXPECT_EQ(table[0], u'\0');
  EXPECT_EQ(table['A'], u'A');
  for (int byte = 0; byte < 256; ++byte) {
    if (table[byte] == u'\xFFFD') continue;
    const auto ansi = text.ToAnsi(Text(1, table[byte]));
    ASSERT_TRUE(ansi.has_value()) << byte;
    EXPECT_EQ(*ansi, std::string(1, static_cast<char>(byte)));
  }
  EXPECT_EQ(text.ToAnsi(u""), std::string());
  EXPECT_EQ(text.ToAnsi(Text(u"a\xD800")), std::nullopt);  // a lone surrogate
  EXPECT_EQ(text.ToAnsi(u"\x4E2D"), std::nullopt);         // none, or two bytes in a CJK code page

  if (GetACP() != 1252) GTEST_SKIP() << "system code page " << GetACP() << ", not 1252";
  EXPECT_EQ(text.ToAnsi(u"IBM \x00E9\x20AC\x00FF"), std::string("IBM \xE9\x80\xFF"));
  EXPECT_EQ(table[0x80], u'\x20AC');
  EXPECT_EQ(table[0xE9], u'\x00E9');
  EXPECT_EQ(text.ToAnsi(u"\x0100"), std::nullopt);  // best fit would give "A"
}

TEST(TextTest, DatesAreWhatAutomationConvertsUnderTheUserLocale) {
  const AnsiConversion text;
  if (GetUserDefaultLCID() != 0x0409) GTEST_SKIP() << "user locale " << GetUserDefaultLCID() << ", not en-US";
  for (const char16_t* date : {u"1/31/2024", u"2024-01-31", u"12:30:15", u"1/31/2024 12:30:15 PM", u"Jan 31, 2024"}) {
    EXPECT_TRUE(text.IsDate(date)) << ToUtf8(date);
  }
  for (const char16_t* other : {u"", u"hello", u"1/31/2024 25:00:00", u"12:61"}) {
    EXPECT_FALSE(text.IsDate(other)) << ToUtf8(other);
  }
}

}  // namespace
}  // namespace moravex::windows
