// The shell's command tokens and JSON output: a contract scripts depend on.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tools/shell/command_tokens.h"
#include "tools/shell/json_output.h"

namespace moravex::shell {
namespace {

TEST(ShellOutput, SinglesPrintShortestAndReadBackExactly) {
  EXPECT_EQ(JsonSingle(1.0f), "1");
  EXPECT_EQ(JsonSingle(1.375f), "1.375");
  EXPECT_EQ(JsonSingle(0.1f), "0.1");
  EXPECT_EQ(JsonSingle(-0.0f), "-0");
  EXPECT_EQ(JsonSingle(std::numeric_limits<float>::quiet_NaN()), "\"NaN\"");
  EXPECT_EQ(JsonSingle(std::numeric_limits<float>::infinity()), "\"Infinity\"");
  EXPECT_EQ(JsonSingle(-std::numeric_limits<float>::infinity()), "\"-Infinity\"");
  for (float value : {std::numeric_limits<float>::max(), std::numeric_limits<float>::denorm_min(), 358.54f,
                      -0.06704212f, 16777217.0f}) {
    EXPECT_EQ(std::strtof(JsonSingle(value).c_str(), nullptr), value) << JsonSingle(value);
  }
}

TEST(ShellOutput, StringsEscapeEveryControlCharacter) {
  EXPECT_EQ(JsonString(Text(u"a\0b", 3)), R"("a\u0000b")");
  EXPECT_EQ(JsonString(Text(u"\x1F\x7F\x81\x9F\xA0")), "\"\\u001F\\u007F\\u0081\\u009F\xC2\xA0\"");
  EXPECT_EQ(JsonString(Text(u"say \"hi\" \\ bye")), R"("say \"hi\" \\ bye")");
  EXPECT_EQ(JsonString(Text(u"\u20AC \U0001F600")), "\"\xE2\x82\xAC \xF0\x9F\x98\x80\"");
  EXPECT_EQ(JsonString(Text(1, char16_t(0xD800))), "\"\xEF\xBF\xBD\"");  // a lone surrogate
  EXPECT_EQ(JsonObject().Str("event", "Timeout").Int("CommandType", 6).Done(),
            R"({"event":"Timeout","CommandType":6})");
}

TEST(ShellTokens, WordsIntegersAndJsonStrings) {
  const Tokenized t = Tokenize(R"(  Login "a\"b\\c" -42 127.0.0.1 "\u0000\ud83d\ude00\u00e9" 99999999999)");
  ASSERT_TRUE(t.error.empty()) << t.error;
  ASSERT_EQ(t.tokens.size(), 6u);
  EXPECT_EQ(t.tokens[0].kind, Token::kWord);
  EXPECT_EQ(t.tokens[1].kind, Token::kString);
  EXPECT_EQ(t.tokens[1].text, u"a\"b\\c");
  EXPECT_EQ(t.tokens[2].kind, Token::kInteger);
  EXPECT_EQ(t.tokens[2].integer, -42);
  EXPECT_EQ(t.tokens[3].kind, Token::kWord);
  EXPECT_EQ(t.tokens[3].text, u"127.0.0.1");
  EXPECT_EQ(t.tokens[4].text, Text(u"\0\U0001F600\u00E9", 4));
  EXPECT_EQ(t.tokens[5].kind, Token::kInteger);  // out of range, refused where a Long is wanted
  EXPECT_GT(t.tokens[5].integer, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(Tokenize(R"("")").tokens.at(0).text, u"");
}

TEST(ShellTokens, MalformedLinesSayWhatIsWrong) {
  EXPECT_EQ(Tokenize(R"(x "open)").error, "unterminated string");
  EXPECT_EQ(Tokenize(R"(x "bad \q")").error, "bad escape \\q");
  EXPECT_EQ(Tokenize(R"(x "\u12zz")").error, "bad \\u escape");
  EXPECT_EQ(Tokenize(R"(x "\u12)").error, "incomplete \\u escape");
  EXPECT_EQ(Tokenize(R"(x "a"b)").error, "a string must be followed by a blank");
}

TEST(ShellTokens, RestOfLineKeepsTheHookedCommandAsTyped) {
  const std::string line = R"(on  GotDebugMessage SendDebugMessage "two  blanks \" inside")";
  EXPECT_EQ(RestOfLine(line, 2), R"(SendDebugMessage "two  blanks \" inside")");
  EXPECT_EQ(RestOfLine("once Timeout", 2), "");
}

}  // namespace
}  // namespace moravex::shell
