// Splits a command line into tokens: bare words, decimal integers and
// double-quoted strings with JSON escapes.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"

namespace moravex::shell {

struct Token {
  enum Kind { kWord, kInteger, kString } kind;
  std::string raw;  // as typed (without quotes for strings)
  Text text;        // the token's value as text
  long long integer = 0;
};

struct Tokenized {
  std::vector<Token> tokens;
  std::string error;  // empty when the line parsed
};

Tokenized Tokenize(std::string_view line);
// The rest of the line from token index `first` on, as typed.
std::string_view RestOfLine(std::string_view line, size_t first);

}  // namespace moravex::shell
