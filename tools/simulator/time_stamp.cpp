#include "tools/simulator/time_stamp.h"

#include <cctype>
#include <cstddef>

namespace moravex::sim {
namespace {

bool IsDigit(std::string_view text, std::size_t pos) {
  return pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) != 0;
}

int TwoDigits(std::string_view text, std::size_t pos) { return (text[pos] - '0') * 10 + (text[pos + 1] - '0'); }

bool IsExactlyTwoDigitsAt(std::string_view text, std::size_t pos) {
  return IsDigit(text, pos) && IsDigit(text, pos + 1) && !IsDigit(text, pos + 2);
}

struct Match {
  int hour = 0;
  int minute = 0;
  int second = 0;
  char meridiem = 0;  // 'A', 'P' or 0
  std::size_t end = 0;
};

// A time group starting at `pos`, where a run of digits begins.
std::optional<Match> MatchAt(std::string_view text, std::size_t pos) {
  std::size_t digits = 0;
  while (IsDigit(text, pos + digits)) ++digits;
  if (digits < 1 || digits > 2) return std::nullopt;
  std::size_t cur = pos + digits;
  if (cur >= text.size() || text[cur] != ':' || !IsExactlyTwoDigitsAt(text, cur + 1)) return std::nullopt;
  Match match;
  match.hour = digits == 1 ? text[pos] - '0' : TwoDigits(text, pos);
  match.minute = TwoDigits(text, cur + 1);
  cur += 3;
  if (cur < text.size() && text[cur] == ':' && IsExactlyTwoDigitsAt(text, cur + 1)) {
    match.second = TwoDigits(text, cur + 1);
    cur += 3;
  }
  match.end = cur;
  std::size_t look = cur;
  while (look < text.size() && text[look] == ' ') ++look;
  if (look + 1 < text.size()) {
    const char first = static_cast<char>(std::toupper(static_cast<unsigned char>(text[look])));
    const char second = static_cast<char>(std::toupper(static_cast<unsigned char>(text[look + 1])));
    const bool word_ends = look + 2 >= text.size() || std::isalpha(static_cast<unsigned char>(text[look + 2])) == 0;
    if ((first == 'A' || first == 'P') && second == 'M' && word_ends) {
      match.meridiem = first;
      match.end = look + 2;
    }
  }
  return match;
}

}  // namespace

std::optional<int> ParseTimeOfDay(std::string_view stamp) {
  std::optional<Match> last;
  std::size_t pos = 0;
  while (pos < stamp.size()) {
    if (IsDigit(stamp, pos) && (pos == 0 || !IsDigit(stamp, pos - 1))) {
      if (auto match = MatchAt(stamp, pos)) {
        last = match;
        pos = match->end;
        continue;
      }
    }
    ++pos;
  }
  if (!last) return std::nullopt;
  int hour = last->hour;
  if (last->meridiem != 0) {
    if (hour < 1 || hour > 12) return std::nullopt;
    hour = hour % 12 + (last->meridiem == 'P' ? 12 : 0);
  }
  if (hour > 23 || last->minute > 59 || last->second > 59) return std::nullopt;
  return hour * 3600 + last->minute * 60 + last->second;
}

}  // namespace moravex::sim
