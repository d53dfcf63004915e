// The simulated wall clock: the host's local time, or a time fixed on the command line for repeatable runs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace moravex::sim {

struct CivilTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;

  int SecondsOfDay() const { return hour * 3600 + minute * 60 + second; }
};

// "YYYY-MM-DD HH:MM:SS" (a 'T' may replace the blank); empty when malformed or out of range.
std::optional<CivilTime> ParseClock(std::string_view text);

// The texts the server answers with: "MM/DD/YYYY HH:MM:SS", "MM/DD/YYYY" and "HH:MM:SS" (24-hour clock).
std::string FormatDateTime(const CivilTime& time);
std::string FormatDate(const CivilTime& time);
std::string FormatTime(const CivilTime& time);

class SessionClock {
 public:
  SessionClock() = default;
  explicit SessionClock(std::optional<CivilTime> fixed) : fixed_(fixed) {}

  CivilTime Now() const;
  bool IsFixed() const { return fixed_.has_value(); }

  // Rows of the session series that exist "now": every row up to the current minute while the clock (real or
  // fixed) is within session hours, otherwise (before the open, after the close) the whole session.
  int AvailableRows() const;

 private:
  std::optional<CivilTime> fixed_;
};

}  // namespace moravex::sim
