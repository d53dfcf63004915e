#include "tools/shell/json_output.h"

#include <charconv>
#include <cmath>

namespace moravex::shell {

std::string JsonString(std::string_view utf8) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (size_t i = 0; i < utf8.size(); ++i) {
    const char ch = utf8[i];
    const auto c = static_cast<unsigned char>(ch);
    // C1 controls (U+0080..U+009F, UTF-8 C2 80..C2 9F) are control characters too.
    if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(utf8[i + 1]) <= 0x9F) {
      const auto next = static_cast<unsigned char>(utf8[++i]);
      out += "\\u00";
      out += kHex[next >> 4];
      out += kHex[next & 0xF];
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += ch;
    }
  }
  out += '"';
  return out;
}

std::string JsonString(const Text& text) { return JsonString(ToUtf8(text)); }

std::string JsonSingle(float value) {
  if (std::isnan(value)) return "\"NaN\"";
  if (std::isinf(value)) return value > 0 ? "\"Infinity\"" : "\"-Infinity\"";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

JsonObject& JsonObject::Raw(std::string_view key, std::string_view json) {
  body_ += body_.empty() ? "{" : ",";
  body_ += JsonString(key);
  body_ += ':';
  body_ += json;
  return *this;
}

}  // namespace moravex::shell

namespace moravex::shell {
namespace {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

std::string TableJson(const PriceTable& table) {
  std::string fields = "[";
  for (const std::u16string& field : table.fields) {
    if (fields.size() > 1) fields += ',';
    fields += JsonString(field);
  }
  fields += ']';
  std::string rows = "[";
  for (const PriceTable::Row& row : table.rows) {
    if (rows.size() > 1) rows += ',';
    rows += '[' + JsonString(row.time);
    for (float price : row.prices) rows += ',' + JsonSingle(price);
    rows += ']';
  }
  rows += ']';
  return JsonObject().Int("RecordCount", table.record_count).Raw("Fields", fields).Raw("Rows", rows).Done();
}

}  // namespace

std::string CallLine(std::string_view label, const CallResult& result) {
  JsonObject line;
  line.Str("call", label);
  std::visit(Overloaded{
                 [&](std::monostate) { line.Raw("result", "null"); },
                 [&](bool value) { line.Raw("result", value ? "true" : "false"); },
                 [&](int32_t value) { line.Int("result", value); },
                 [&](const CallError& error) {
                   line.Raw("error", JsonObject()
                                         .Int("number", error.number)
                                         .Str("source", error.source)
                                         .Str("description", error.description)
                                         .Done());
                 },
             },
             result);
  return line.Done();
}

std::string EventLine(std::string_view event, const std::vector<EventArgument>& args) {
  JsonObject line;
  line.Str("event", event);
  for (const EventArgument& arg : args) {
    std::visit(Overloaded{
                   [&](std::monostate) { line.Raw(arg.name, "null"); },
                   [&](const std::u16string& text) { line.Str(arg.name, text); },
                   [&](int32_t value) { line.Int(arg.name, value); },
                   [&](float value) { line.Single(arg.name, value); },
                   [&](const PriceTable& table) { line.Raw(arg.name, TableJson(table)); },
               },
               arg.value);
  }
  return line.Done();
}

}  // namespace moravex::shell
