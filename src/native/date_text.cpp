// Native stand-in for Automation's text-to-date test under the en-US locale. The time stamp is sent on the wire
// unchanged, so only the yes/no answer matters; no date value is built.
//
// Accepted texts (case-insensitive; blanks = spaces and tabs, allowed before and after the whole text):
//
//   [weekday[,]] date [time]        or        time
//
//   date, one of:
//     Y-M-D   Y/M/D        2026-12-08, 2026/12/8        (four-digit year first)
//     M/D/Y   M-D-Y        12/8/2026, 12/08/26, 12-8-2026
//     Mon D[,] Y           Dec 8, 2026   December 8 2026
//     D Mon[,] Y           8 Dec 2026
//     D-Mon-Y  Mon-D-Y     08-Dec-2026   Dec-08-2026
//   time, one of:
//     H:MM[:SS] [AM|PM]    9:30, 09:30:00, 9:30 PM, 9:30:00am
//     H AM|PM              9 PM
//
// - A numeric date uses one separator, '/' or '-', twice; a numeric date and a time hold no blanks inside.
// - A time follows its date after blanks. After a year-first date it may instead follow a 'T' with no blanks around
//   it: 2026-12-08T09:30:00.
// - M, D, H, MM and SS have one or two digits. Y has four digits (100 to 9999) or two (00-29 are 2000-2029,
//   30-99 are 1930-1999, Automation's default two-digit-year window).
// - Month 1-12; day within its month, 29 February only in leap years; hour 0-23, or 1-12 with AM/PM; minutes
//   and seconds 0-59. AM/PM may follow the time with or without blanks.
// - Month and weekday names are the full English name or its first three letters. A weekday needs a date after it
//   (after a comma or blanks) and is not checked against that date.
//
// Refused, among others: empty or blank text; a lone number (2026, 12); a date without a year (12/8); a time
// before its date; trailing words (2026-12-08 09:30:00 junk, 12:30 PM PM); fractional seconds; time zones (Z,
// +01:00); A or P alone for AM/PM; '.' as a date separator; any character outside ASCII letters, digits,
// blanks and / - : ,
#include "native/date_text.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace moravex {
namespace {

struct Token {
  enum class Kind { kNumber, kWord, kSymbol };
  Kind kind = Kind::kSymbol;
  bool blank_before = false;  // blanks separate it from the token before
  int value = 0;              // kNumber; only meaningful up to 9 digits, and no part takes more than 4
  int digits = 0;             // kNumber
  std::string word;           // kWord, lower case
  char symbol = 0;            // kSymbol
};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsSymbol(char16_t c) { return c == u'/' || c == u'-' || c == u':' || c == u','; }

// Splits into digit runs, letter runs and single symbols; nothing for a character that no form uses.
std::optional<std::vector<Token>> Tokenize(const Text& text) {
  std::vector<Token> tokens;
  bool blank = false;
  size_t i = 0;
  while (i < text.size()) {
    const char16_t c = text[i];
    if (IsBlank(c)) {
      blank = true;
      ++i;
      continue;
    }
    Token token;
    token.blank_before = blank;
    blank = false;
    if (IsDigit(c)) {
      token.kind = Token::Kind::kNumber;
      for (; i < text.size() && IsDigit(text[i]); ++i) {
        if (token.digits < 9) token.value = token.value * 10 + (text[i] - u'0');
        ++token.digits;
      }
    } else if (IsLetter(c)) {
      token.kind = Token::Kind::kWord;
      for (; i < text.size() && IsLetter(text[i]); ++i) {
        const char16_t lower = text[i] >= u'A' && text[i] <= u'Z' ? static_cast<char16_t>(text[i] + 0x20) : text[i];
        token.word.push_back(static_cast<char>(lower));
      }
    } else if (IsSymbol(c)) {
      token.kind = Token::Kind::kSymbol;
      token.symbol = static_cast<char>(c);
      ++i;
    } else {
      return std::nullopt;
    }
    tokens.push_back(std::move(token));
  }
  return tokens;
}

constexpr std::array<std::string_view, 12> kMonths = {"january",   "february", "march",    "april",
                                                      "may",       "june",     "july",     "august",
                                                      "september", "october",  "november", "december"};
constexpr std::array<std::string_view, 7> kWeekdays = {"sunday",   "monday", "tuesday", "wednesday",
                                                       "thursday", "friday", "saturday"};

// The full name or its first three letters.
bool NamesIt(std::string_view word, std::string_view name) { return word == name || word == name.substr(0, 3); }

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[static_cast<size_t>(month - 1)];
}

bool IsValidDate(int year, int month, int day) {
  return month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

class DateTextParser {
 public:
  explicit DateTextParser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  bool ParseWhole() {
    if (tokens_.empty()) return false;
    const bool has_weekday = TakeWeekday();
    bool year_first = false;
    const bool has_date = TakeDate(&year_first);
    if (has_weekday && !has_date) return false;
    if (!has_date) return TakeTime() && AtEnd();
    if (AtEnd()) return true;
    if (year_first && Peek()->kind == Token::Kind::kWord && Peek()->word == "t" && !Peek()->blank_before) {
      ++pos_;
      if (AtEnd() || Peek()->blank_before) return false;
    } else if (!Peek()->blank_before) {
      return false;
    }
    return TakeTime() && AtEnd();
  }

 private:
  bool AtEnd() const { return pos_ >= tokens_.size(); }
  const Token* Peek() const { return AtEnd() ? nullptr : &tokens_[pos_]; }

  // The next token, when it is a number of min_digits..max_digits digits.
  std::optional<int> TakeNumber(int min_digits, int max_digits) {
    const Token* t = Peek();
    if (t == nullptr || t->kind != Token::Kind::kNumber || t->digits < min_digits || t->digits > max_digits) {
      return std::nullopt;
    }
    ++pos_;
    return t->value;
  }

  bool TakeSymbol(char symbol, bool blank_allowed) {
    const Token* t = Peek();
    if (t == nullptr || t->kind != Token::Kind::kSymbol || t->symbol != symbol) return false;
    if (t->blank_before && !blank_allowed) return false;
    ++pos_;
    return true;
  }

  // 1..12 for a month name.
  std::optional<int> TakeMonthName() {
    const Token* t = Peek();
    if (t == nullptr || t->kind != Token::Kind::kWord) return std::nullopt;
    for (size_t m = 0; m < kMonths.size(); ++m) {
      if (NamesIt(t->word, kMonths[m])) {
        ++pos_;
        return static_cast<int>(m) + 1;
      }
    }
    return std::nullopt;
  }

  // A two-digit year in Automation's default window, or a four-digit year of the date range.
  std::optional<int> TakeYear() {
    const Token* t = Peek();
    if (t == nullptr || t->kind != Token::Kind::kNumber) return std::nullopt;
    if (t->digits == 2) {
      ++pos_;
      return t->value < 30 ? 2000 + t->value : 1900 + t->value;
    }
    if (t->digits == 4 && t->value >= 100) {
      ++pos_;
      return t->value;
    }
    return std::nullopt;
  }

  bool TakeWeekday() {
    const Token* t = Peek();
    if (t == nullptr || t->kind != Token::Kind::kWord) return false;
    for (std::string_view name : kWeekdays) {
      if (!NamesIt(t->word, name)) continue;
      ++pos_;
      const bool comma = TakeSymbol(',', false);
      // The date follows after a comma or blanks, never right against the name ("Tue-12/8/2026").
      return comma || (!AtEnd() && Peek()->blank_before);
    }
    return false;
  }

  // Leaves the position unchanged when no date starts here.
  bool TakeDate(bool* year_first) {
    const size_t start = pos_;
    if (TakeNumericDate(year_first)) return true;
    pos_ = start;
    if (TakeNameDate()) return true;
    pos_ = start;
    return false;
  }

  bool TakeNumericDate(bool* year_first) {
    const Token* first = Peek();
    if (first == nullptr || first->kind != Token::Kind::kNumber) return false;
    const std::optional<int> a = TakeNumber(1, 4);
    const char separator = AtEnd() ? '\0' : Peek()->symbol;
    if (!a || (separator != '/' && separator != '-') || !TakeSymbol(separator, false)) return false;
    if (AtEnd() || Peek()->blank_before) return false;
    const std::optional<int> b = TakeNumber(1, 2);
    if (!b || !TakeSymbol(separator, false) || AtEnd() || Peek()->blank_before) return false;
    if (first->digits == 4) {
      const std::optional<int> day = TakeNumber(1, 2);
      if (!day || *a < 100 || !IsValidDate(*a, *b, *day)) return false;
      *year_first = true;
      return true;
    }
    if (first->digits > 2) return false;
    const std::optional<int> year = TakeYear();
    return year && IsValidDate(*year, *a, *b);
  }

  // Mon D Y or D Mon Y, the parts separated by blanks (a comma allowed before the year) or by hyphens.
  bool TakeNameDate() {
    int month = 0;
    int day = 0;
    bool hyphens = false;
    if (const std::optional<int> m = TakeMonthName()) {
      month = *m;
      hyphens = TakeSymbol('-', false);
      if (!NextPartPlaced(hyphens)) return false;
      const std::optional<int> d = TakeNumber(1, 2);
      if (!d) return false;
      day = *d;
    } else if (const std::optional<int> d = TakeNumber(1, 2)) {
      day = *d;
      hyphens = TakeSymbol('-', false);
      if (!NextPartPlaced(hyphens)) return false;
      const std::optional<int> named = TakeMonthName();
      if (!named) return false;
      month = *named;
    } else {
      return false;
    }
    if (hyphens) {
      if (!TakeSymbol('-', false) || !NextPartPlaced(true)) return false;
    } else if (!TakeSymbol(',', false) && !NextPartPlaced(false)) {
      return false;
    }
    const std::optional<int> year = TakeYear();
    return year && IsValidDate(*year, month, day);
  }

  // Whether the next part sits right against a hyphen, or after blanks.
  bool NextPartPlaced(bool after_hyphen) const {
    if (AtEnd()) return false;
    return after_hyphen ? !Peek()->blank_before : Peek()->blank_before;
  }

  bool TakeTime() {
    const std::optional<int> hour = TakeNumber(1, 2);
    if (!hour) return false;
    bool has_minutes = false;
    if (TakeSymbol(':', false)) {
      if (AtEnd() || Peek()->blank_before) return false;
      const std::optional<int> minute = TakeNumber(1, 2);
      if (!minute || *minute > 59) return false;
      has_minutes = true;
      if (TakeSymbol(':', false)) {
        if (AtEnd() || Peek()->blank_before) return false;
        const std::optional<int> second = TakeNumber(1, 2);
        if (!second || *second > 59) return false;
      }
    }
    const Token* t = Peek();
    const bool meridiem = t != nullptr && t->kind == Token::Kind::kWord && (t->word == "am" || t->word == "pm");
    if (meridiem) {
      ++pos_;
      return *hour >= 1 && *hour <= 12;
    }
    return has_minutes && *hour <= 23;
  }

  std::vector<Token> tokens_;
  size_t pos_ = 0;
};

}  // namespace

bool IsEnUsDateText(const Text& text) {
  std::optional<std::vector<Token>> tokens = Tokenize(text);
  return tokens && DateTextParser(std::move(*tokens)).ParseWhole();
}

}  // namespace moravex
