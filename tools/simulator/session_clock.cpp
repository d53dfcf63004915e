#include "tools/simulator/session_clock.h"

#include <cstdio>
#include <ctime>

#include "tools/simulator/market_data.h"

namespace moravex::sim {
namespace {

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

bool ReadNumber(std::string_view text, std::size_t pos, std::size_t width, int& value) {
  value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    const char c = text[pos + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

}  // namespace

std::optional<CivilTime> ParseClock(std::string_view text) {
  // YYYY-MM-DD HH:MM:SS
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || (text[10] != ' ' && text[10] != 'T') ||
      text[13] != ':' || text[16] != ':') {
    return std::nullopt;
  }
  CivilTime t;
  if (!ReadNumber(text, 0, 4, t.year) || !ReadNumber(text, 5, 2, t.month) || !ReadNumber(text, 8, 2, t.day) ||
      !ReadNumber(text, 11, 2, t.hour) || !ReadNumber(text, 14, 2, t.minute) || !ReadNumber(text, 17, 2, t.second)) {
    return std::nullopt;
  }
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > DaysInMonth(t.year, t.month) || t.hour > 23 ||
      t.minute > 59 || t.second > 59) {
    return std::nullopt;
  }
  return t;
}

std::string FormatDate(const CivilTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d", t.month, t.day, t.year);
  return text;
}

std::string FormatTime(const CivilTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return text;
}

std::string FormatDateTime(const CivilTime& t) { return FormatDate(t) + " " + FormatTime(t); }

CivilTime SessionClock::Now() const {
  if (fixed_) return *fixed_;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return CivilTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

int SessionClock::AvailableRows() const {
  const int seconds = Now().SecondsOfDay();
  if (seconds < kSessionOpenSeconds || seconds > kSessionCloseSeconds) return kSessionRows;
  return (seconds - kSessionOpenSeconds) / 60 + 1;
}

}  // namespace moravex::sim
