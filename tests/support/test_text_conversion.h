// Windows-1252 text with a date test the test decides, so date-sensitive
// cases do not depend on locale parsing.
#pragma once
#include <functional>
#include <vector>

#include "native/windows_1252.h"
#include "platform/text_conversion.h"

namespace moravex {

class TestTextConversion final : public TextConversion {
 public:
  // By default every non-empty text counts as a date.
  std::function<bool(const Text&)> is_date = [](const Text& text) { return !text.empty(); };

  std::optional<std::string> ToAnsi(const Text& text) const override { return code_page_.ToAnsi(text); }
  const std::array<char16_t, 256>& AnsiCharacters() const override { return code_page_.AnsiCharacters(); }
  bool IsDate(const Text& text) const override {
    dates_checked_.push_back(text);
    return is_date(text);
  }
  const std::vector<Text>& DatesChecked() const { return dates_checked_; }

 private:
  Windows1252Conversion code_page_;
  mutable std::vector<Text> dates_checked_;
};

}  // namespace moravex
