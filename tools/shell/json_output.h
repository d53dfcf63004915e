// The shell's output format: one JSON object per line.
#pragma once
#include <cstdint>
#include <string>

#include "platform/text.h"
#include "tools/shell/shell_driver.h"

namespace moravex::shell {

// UTF-8, every control character (code 0 included) as \u00XX.
std::string JsonString(std::string_view utf8);
std::string JsonString(const Text& text);
// Shortest decimal that reads back as the same single; NaN and infinities as strings.
std::string JsonSingle(float value);

// Builds {"key":value,...} one member at a time, values already in JSON.
class JsonObject {
 public:
  JsonObject& Raw(std::string_view key, std::string_view json);
  JsonObject& Str(std::string_view key, std::string_view utf8) { return Raw(key, JsonString(utf8)); }
  JsonObject& Str(std::string_view key, const Text& text) { return Raw(key, JsonString(text)); }
  JsonObject& Int(std::string_view key, int64_t value) { return Raw(key, std::to_string(value)); }
  JsonObject& Single(std::string_view key, float value) { return Raw(key, JsonSingle(value)); }
  std::string Done() const { return body_.empty() ? "{}" : body_ + "}"; }

 private:
  std::string body_;
};

// {"call":LABEL,"result":...} or {"call":LABEL,"error":{"number":..,"source":..,"description":..}}
std::string CallLine(std::string_view label, const CallResult& result);
// {"event":NAME,ARG:VALUE,...}; a price table prints RecordCount, Fields and Rows.
std::string EventLine(std::string_view event, const std::vector<EventArgument>& args);

}  // namespace moravex::shell
