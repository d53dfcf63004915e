#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "native/windows_1252.h"
#include "platform/text.h"
#include "protocol/payload_decoding.h"

namespace moravex {
namespace {

using namespace std::string_view_literals;

Text FromBytes(const Windows1252Conversion& conversion, std::vector<uint8_t> bytes) {
  if (bytes.empty()) return {};
  Text text;
  ReadStringInto(text, AnsiWidener(conversion.AnsiCharacters()), bytes, 0, static_cast<int32_t>(bytes.size()));
  return text;
}

TEST(Windows1252ConversionTest, EveryByteRoundTrips) {
  const Windows1252Conversion conversion;
  std::vector<uint8_t> bytes(256);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);

  const Text text = FromBytes(conversion, bytes);
  ASSERT_EQ(text.size(), 256u);
  const std::optional<std::string> back = conversion.ToAnsi(text);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, std::string(bytes.begin(), bytes.end()));
}

TEST(Windows1252ConversionTest, MapsTheHighRangeToItsCharacters) {
  const Windows1252Conversion conversion;
  EXPECT_EQ(FromBytes(conversion, {0x80}), u"\u20AC");
  EXPECT_EQ(FromBytes(conversion, {0x8A, 0x99, 0x9F}), u"\u0160\u2122\u0178");
  // Outside 0x80..0x9F a byte is the Latin-1 character of the same value.
  EXPECT_EQ(FromBytes(conversion, {0x41, 0x7F, 0xA0, 0xE9, 0xFF}), u"A\u007F\u00A0\u00E9\u00FF");
  EXPECT_EQ(conversion.ToAnsi(u"\u20AC\u2122\u00E9"), "\x80\x99\xE9"sv);
}

TEST(Windows1252ConversionTest, UnassignedBytesAreTheirC1Controls) {
  const Windows1252Conversion conversion;
  EXPECT_EQ(FromBytes(conversion, {0x81, 0x8D, 0x8F, 0x90, 0x9D}), u"\u0081\u008D\u008F\u0090\u009D");
  EXPECT_EQ(conversion.ToAnsi(u"\u0081\u008D\u008F\u0090\u009D"), "\x81\x8D\x8F\x90\x9D"sv);
  // The other C1 controls share their byte with an assigned character, so they have no form of their own.
  EXPECT_EQ(conversion.ToAnsi(u"\u0080"), std::nullopt);
  EXPECT_EQ(conversion.ToAnsi(u"\u009F"), std::nullopt);
}

TEST(Windows1252ConversionTest, CharactersWithoutASingleByteHaveNoForm) {
  const Windows1252Conversion conversion;
  EXPECT_EQ(conversion.ToAnsi(u"\u4E2D"), std::nullopt);
  EXPECT_EQ(conversion.ToAnsi(u"\u0100"), std::nullopt);
  EXPECT_EQ(conversion.ToAnsi(u"\U0001F600"), std::nullopt);  // a surrogate pair
  EXPECT_EQ(conversion.ToAnsi(Text(1, u'\xD800')), std::nullopt);
  EXPECT_EQ(conversion.ToAnsi(u"ABC\u4E2D"), std::nullopt);  // one such character spoils the whole text
}

TEST(Windows1252ConversionTest, KeepsZeroBytesAndEmptyText) {
  const Windows1252Conversion conversion;
  const Text text = FromBytes(conversion, {0x41, 0x00, 0x42, 0x00});
  EXPECT_EQ(text, Text(u"A\0B\0", 4));
  EXPECT_EQ(conversion.ToAnsi(text), "A\0B\0"sv);
  EXPECT_EQ(FromBytes(conversion, {}), u"");
  EXPECT_EQ(conversion.ToAnsi(u""), "");
}

TEST(Utf8Test, EncodesAndDecodesEverySequenceLength) {
  struct Case {
    std::string_view utf8;
    std::u16string_view utf16;
  };
  const Case cases[] = {
      {"", u""},
      {"Hello, 12/8/2026", u"Hello, 12/8/2026"},
      {"\0A"sv, u"\0A"sv},
      {"\x7F", u"\u007F"},
      {"\xC2\x80", u"\u0080"},  // smallest 2-byte
      {"\xC3\xA9", u"\u00E9"},
      {"\xDF\xBF", u"\u07FF"},      // largest 2-byte
      {"\xE0\xA0\x80", u"\u0800"},  // smallest 3-byte
      {"\xE2\x82\xAC", u"\u20AC"},
      {"\xE4\xB8\xAD", u"\u4E2D"},
      {"\xED\x9F\xBF", u"\uD7FF"},          // just below the surrogates
      {"\xEE\x80\x80", u"\uE000"},          // just above them
      {"\xEF\xBF\xBF", u"\uFFFF"},          // largest 3-byte
      {"\xF0\x90\x80\x80", u"\U00010000"},  // smallest 4-byte
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},  // largest code point
      {"a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z", u"a\u00E9\u20AC\U0001F600z"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FromUtf8(c.utf8), c.utf16) << c.utf8;
    EXPECT_EQ(ToUtf8(Text(c.utf16)), c.utf8) << c.utf8;
  }
}

TEST(Utf8Test, InvalidBytesBecomeReplacementCharacters) {
  // Each input holds exactly the valid characters of `kept` around its broken parts; how many U+FFFD replace a
  // broken sequence is left open, but there is at least one and nothing valid is swallowed.
  struct Case {
    std::string_view utf8;
    std::u16string_view kept;
  };
  const Case cases[] = {
      {"\x80", u""},  // lone continuation byte
      {"a\xBF\x62", u"ab"},
      {"\xC0\x80", u""},          // overlong NUL
      {"\xC1\xBF", u""},          // overlong 2-byte
      {"\xE0\x80\xAF", u""},      // overlong 3-byte
      {"\xF0\x80\x80\xAF", u""},  // overlong 4-byte
      {"\xED\xA0\x80", u""},      // encoded surrogate
      {"\xED\xBF\xBF", u""},
      {"\xF4\x90\x80\x80", u""},  // beyond U+10FFFF
      {"\xF5\x80\x80\x80", u""},
      {"\xFE\xFF", u""},
      {"\xE2\x82", u""},  // truncated at the end
      {"\xF0\x9F\x98", u""},
      {"\xE2\x82\x41", u"A"},       // truncated by an ASCII byte, which survives
      {"\xC3\xC3\xA9", u"\u00E9"},  // truncated by the lead of a valid sequence, which survives
      {"x\xF0\x9F\xE2\x82\xACy", u"x\u20ACy"},
  };
  for (const Case& c : cases) {
    const Text decoded = FromUtf8(c.utf8);
    Text valid;
    for (char16_t ch : decoded) {
      if (ch != u'\uFFFD') valid.push_back(ch);
    }
    EXPECT_NE(decoded.find(u'\uFFFD'), Text::npos) << c.utf8.size() << " bytes";
    EXPECT_EQ(valid, c.kept) << c.utf8.size() << " bytes";
  }
  EXPECT_EQ(FromUtf8("\x80"), u"\uFFFD");
  EXPECT_EQ(FromUtf8("a\xFF\x62"), u"a\uFFFDb");
}

TEST(Utf8Test, LoneSurrogatesBecomeReplacementCharacters) {
  const std::string kReplacement = "\xEF\xBF\xBD";
  EXPECT_EQ(ToUtf8(Text(1, u'\xD83D')), kReplacement);  // high alone
  EXPECT_EQ(ToUtf8(Text(1, u'\xDE00')), kReplacement);  // low alone
  EXPECT_EQ(ToUtf8(Text{u'a', u'\xD83D', u'b'}), "a" + kReplacement + "b");
  EXPECT_EQ(ToUtf8(Text{u'\xDE00', u'\xD83D'}), kReplacement + kReplacement);  // reversed pair
  EXPECT_EQ(ToUtf8(Text{u'\xD83D', u'\xD83D', u'\xDE00'}), kReplacement + "\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace moravex
