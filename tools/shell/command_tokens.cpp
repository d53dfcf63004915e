#include "tools/shell/command_tokens.h"

#include <cctype>
#include <charconv>

namespace moravex::shell {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Parses a quoted string starting at line[i] == '"'; returns the index after
// the closing quote, or npos with `error` set.
size_t ParseString(std::string_view line, size_t i, Token& token, std::string& error) {
  std::string pending_utf8;
  auto flush = [&] {
    token.text += FromUtf8(pending_utf8);
    token.raw += pending_utf8;
    pending_utf8.clear();
  };
  for (++i; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      flush();
      return i + 1;
    }
    if (static_cast<unsigned char>(c) < 0x20) {
      error = "control character inside a string";
      return std::string_view::npos;
    }
    if (c != '\\') {
      pending_utf8 += c;
      continue;
    }
    if (++i >= line.size()) break;
    const char e = line[i];
    char plain = 0;
    switch (e) {
      case '"': plain = '"'; break;
      case '\\': plain = '\\'; break;
      case '/': plain = '/'; break;
      case 'b': plain = '\b'; break;
      case 'f': plain = '\f'; break;
      case 'n': plain = '\n'; break;
      case 'r': plain = '\r'; break;
      case 't': plain = '\t'; break;
      case 'u': {
        if (i + 4 >= line.size()) {
          error = "incomplete \\u escape";
          return std::string_view::npos;
        }
        int value = 0;
        for (size_t k = 1; k <= 4; ++k) {
          const int h = HexValue(line[i + k]);
          if (h < 0) {
            error = "bad \\u escape";
            return std::string_view::npos;
          }
          value = value * 16 + h;
        }
        i += 4;
        flush();
        // UTF-16 units go in as they are, so any text a host could pass is expressible.
        token.text.push_back(static_cast<char16_t>(value));
        token.raw += ToUtf8(Text(1, static_cast<char16_t>(value)));
        continue;
      }
      default: error = std::string("bad escape \\") + e; return std::string_view::npos;
    }
    pending_utf8 += plain;
  }
  error = "unterminated string";
  return std::string_view::npos;
}

}  // namespace

Tokenized Tokenize(std::string_view line) {
  Tokenized result;
  size_t i = 0;
  while (true) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    Token token{Token::kWord, {}, {}, 0};
    if (line[i] == '"') {
      token.kind = Token::kString;
      i = ParseString(line, i, token, result.error);
      if (i == std::string_view::npos) return result;
      if (i < line.size() && !IsBlank(line[i])) {
        result.error = "a string must be followed by a blank";
        return result;
      }
    } else {
      const size_t start = i;
      while (i < line.size() && !IsBlank(line[i])) ++i;
      token.raw = std::string(line.substr(start, i - start));
      token.text = FromUtf8(token.raw);
      const char* first = token.raw.data();
      const char* last = first + token.raw.size();
      long long value = 0;
      const auto parsed = std::from_chars(first, last, value);
      if (parsed.ec == std::errc() && parsed.ptr == last) {
        token.kind = Token::kInteger;
        token.integer = value;
      } else if (parsed.ec == std::errc::result_out_of_range) {
        token.kind = Token::kInteger;
        token.integer = token.raw[0] == '-' ? INT64_MIN : INT64_MAX;
      }
    }
    result.tokens.push_back(std::move(token));
  }
  return result;
}

std::string_view RestOfLine(std::string_view line, size_t first) {
  size_t i = 0;
  for (size_t n = 0; n < first; ++n) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i < line.size() && line[i] == '"') {
      for (++i; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\') ++i;
      }
      ++i;
    } else {
      while (i < line.size() && !IsBlank(line[i])) ++i;
    }
  }
  while (i < line.size() && IsBlank(line[i])) ++i;
  return i < line.size() ? line.substr(i) : std::string_view();
}

}  // namespace moravex::shell
