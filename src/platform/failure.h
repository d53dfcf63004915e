// A failure as the COM boundary reports it: error number, source and description.
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

// Run-time failures inside the control carry the numbers and texts a host
// already knows from Automation (subscript out of range, overflow, type mismatch).
inline constexpr const char* kRuntimeSource = "MORAVEX1";
inline constexpr int32_t kSubscriptOutOfRange = static_cast<int32_t>(0x800A0009);
inline constexpr int32_t kOverflow = static_cast<int32_t>(0x800A0006);
inline constexpr int32_t kTypeMismatch = static_cast<int32_t>(0x800A000D);
inline constexpr int32_t kInvalidPropertyValue = static_cast<int32_t>(0x800A017C);

[[noreturn]] inline void ThrowSubscriptOutOfRange() {
  throw Failure(kSubscriptOutOfRange, kRuntimeSource, "Subscript out of range");
}
[[noreturn]] inline void ThrowOverflow() { throw Failure(kOverflow, kRuntimeSource, "Overflow"); }
[[noreturn]] inline void ThrowTypeMismatch() {
  throw Failure(kTypeMismatch, kRuntimeSource, "Type mismatch");
}

}  // namespace moravex
