// Parsing of the fault switches, shared by the command line and the "!sim" debug commands.
#include <string>

#include "tools/simulator/faults.h"
#include "tools/simulator/number_text.h"

namespace moravex::sim {
namespace {

// Reads "VALUE[:TYPES]"; a missing TYPES part means every type.
template <typename Number>
bool ParseValueAndTypes(std::string_view text, Number& value, TypeSet& types) {
  const auto colon = text.find(':');
  const std::optional<Number> number = ParseInteger<Number>(text.substr(0, colon));
  if (!number) return false;
  value = *number;
  if (colon == std::string_view::npos) {
    types.set();
    return true;
  }
  const std::optional<TypeSet> parsed = ParseTypeSet(text.substr(colon + 1));
  if (!parsed) return false;
  types = *parsed;
  return true;
}

template <typename Array, typename Value>
void SetFor(Array& array, const TypeSet& types, Value value) {
  for (std::size_t t = 0; t < types.size(); ++t) {
    if (types[t]) array[t] = value;
  }
}

std::string Bad(std::string_view name, std::string_view value, std::string_view expected) {
  return "--" + std::string(name) + ": invalid value '" + std::string(value) + "', expected " + std::string(expected);
}

}  // namespace

std::optional<TypeSet> ParseTypeSet(std::string_view text) {
  TypeSet types;
  if (text == "all") return types.set();
  if (text.empty()) return std::nullopt;
  while (true) {
    const auto comma = text.find(',');
    const auto number = ParseInteger<int>(text.substr(0, comma));
    if (!number || *number < 0 || *number > 255) return std::nullopt;
    types.set(static_cast<std::size_t>(*number));
    if (comma == std::string_view::npos) return types;
    text.remove_prefix(comma + 1);
  }
}

bool IsFaultOption(std::string_view name) {
  return name == "delay" || name == "never" || name == "chunk" || name == "close-mid" || name == "bogus-length" ||
         name == "empty" || name == "short" || name == "tail" || name == "push-debug" || name == "login-refuse" ||
         name == "login-malformed";
}

bool FaultOptionTakesValue(std::string_view name) { return IsFaultOption(name) && name != "login-malformed"; }

std::string ApplyFaultOption(FaultConfig& faults, std::string_view name, std::string_view value) {
  if (name == "never" || name == "close-mid" || name == "empty") {
    const auto types = ParseTypeSet(value);
    if (!types) return Bad(name, value, "TYPES ('all' or a comma list of 0..255)");
    TypeSet& target = name == "never" ? faults.never : name == "close-mid" ? faults.close_mid : faults.empty;
    target |= *types;
    return {};
  }
  if (name == "delay" || name == "chunk" || name == "short" || name == "tail") {
    int number = 0;
    TypeSet types;
    const int minimum = name == "chunk" ? 1 : 0;
    if (!ParseValueAndTypes(value, number, types) || number < minimum || number > 10'000'000) {
      return Bad(name, value, name == "chunk" ? "N[:TYPES] with N >= 1" : "N[:TYPES] with N >= 0");
    }
    if (name == "delay") SetFor(faults.delay_ms, types, number);
    if (name == "chunk") SetFor(faults.chunk_bytes, types, static_cast<std::size_t>(number));
    if (name == "short") SetFor(faults.short_bytes, types, number);
    if (name == "tail") SetFor(faults.tail_bytes, types, number);
    return {};
  }
  if (name == "bogus-length") {
    std::int32_t length = 0;
    TypeSet types;
    if (!ParseValueAndTypes(value, length, types)) {
      return Bad(name, value, "LEN[:TYPES] with LEN a 32-bit signed number");
    }
    faults.bogus_length |= types;
    SetFor(faults.bogus_length_value, types, length);
    return {};
  }
  if (name == "push-debug") {
    // The text may hold colons itself: the interval follows the last one.
    const auto colon = value.rfind(':');
    const auto interval = colon == std::string_view::npos ? std::nullopt : ParseInteger<int>(value.substr(colon + 1));
    if (!interval || *interval < 1) return Bad(name, value, "TEXT:MS with MS >= 1");
    faults.push_debug = DebugPush{std::string(value.substr(0, colon)), *interval};
    return {};
  }
  if (name == "login-refuse") {
    const auto colon = value.find(':');
    const auto code =
        colon == std::string_view::npos ? std::nullopt : ParseInteger<std::int32_t>(value.substr(0, colon));
    if (!code) return Bad(name, value, "CODE:TEXT with CODE a 32-bit signed number");
    faults.login_refusal = LoginRefusal{*code, std::string(value.substr(colon + 1))};
    return {};
  }
  if (name == "login-malformed") {
    faults.login_malformed = true;
    return {};
  }
  return "unknown option --" + std::string(name);
}

}  // namespace moravex::sim
