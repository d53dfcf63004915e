// A failure as the COM boundary reports it: error number, source and description.
//
// The number is always an HRESULT-form value, so a failure is negative: the
// control's own ErrorIDs (0x8004xxxx), Automation run-time errors
// (0x800A0000 | number) and component errors alike. Source and description
// travel as UTF-8; the COM layer converts them to BSTR in one place.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

namespace moravex {

class Failure : public std::runtime_error {
 public:
  Failure(int32_t number, std::string source, std::string description)
      : std::runtime_error(description),
        number_(number),
        source_(std::move(source)),
        description_(std::move(description)) {}

  int32_t Number() const { return number_; }
  const std::string& Source() const { return source_; }
  const std::string& Description() const { return description_; }

 private:
  int32_t number_;
  std::string source_;
  std::string description_;
};

// The Automation run-time error `number` in HRESULT form.
constexpr int32_t AutomationError(uint32_t number) { return static_cast<int32_t>(0x800A0000u | (number & 0xFFFFu)); }

// Run-time failures inside the control carry the numbers and texts a host
// already knows from Automation (subscript out of range, overflow).
inline constexpr const char* kRuntimeSource = "MORAVEX1";
inline constexpr int32_t kSubscriptOutOfRange = AutomationError(9);
inline constexpr int32_t kOverflow = AutomationError(6);
inline constexpr int32_t kOutOfMemory = AutomationError(7);
inline constexpr int32_t kInvalidPropertyValue = AutomationError(380);

[[noreturn]] inline void ThrowSubscriptOutOfRange() {
  throw Failure(kSubscriptOutOfRange, kRuntimeSource, "Subscript out of range");
}
[[noreturn]] inline void ThrowOverflow() { throw Failure(kOverflow, kRuntimeSource, "Overflow"); }

}  // namespace moravex
