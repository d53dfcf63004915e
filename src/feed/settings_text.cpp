#include "feed/settings_text.h"

namespace moravex::feed {
namespace {

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

SettingsText ParseSettingsText(std::string_view text) {
  SettingsText parsed;
  std::string section;
  bool in_section = false;
  int number = 0;
  while (!text.empty()) {
    const auto newline = text.find('\n');
    const std::string_view line = Trim(text.substr(0, newline));
    text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
    ++number;
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    const std::string where = "line " + std::to_string(number) + ": ";
    if (line.front() == '[') {
      if (line.back() != ']') return {{}, where + "a section name ends with ]"};
      section = std::string(Trim(line.substr(1, line.size() - 2)));
      in_section = true;
      parsed.sections[section];
      continue;
    }
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) return {{}, where + "expected key = value"};
    if (!in_section) return {{}, where + "a setting outside any [section]"};
    parsed.sections[section].emplace_back(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)));
  }
  return parsed;
}

ProfileLookup ProfileFromText(std::string_view text, const Text& name) {
  const SettingsText parsed = ParseSettingsText(text);
  if (!parsed.error.empty()) return {std::nullopt, parsed.error};
  const auto section = parsed.sections.find(ToUtf8(name));
  if (section == parsed.sections.end()) return {std::nullopt, "no profile " + ToUtf8(name)};
  Profile profile;
  for (const auto& [key, value] : section->second) {
    if (std::string error = ApplyProfileSetting(profile, key, value); !error.empty()) {
      return {std::nullopt, "profile " + ToUtf8(name) + ": " + error};
    }
  }
  return {profile, {}};
}

PasswordLookup PasswordFromText(std::string_view text, const Text& name) {
  const SettingsText parsed = ParseSettingsText(text);
  if (!parsed.error.empty()) return {std::nullopt, parsed.error};
  const auto section = parsed.sections.find(ToUtf8(name));
  if (section != parsed.sections.end()) {
    for (const auto& [key, value] : section->second) {
      if (key == "password") return {FromUtf8(value), {}};
    }
  }
  return {std::nullopt, "no password for " + ToUtf8(name)};
}

}  // namespace moravex::feed
