// The text of profile and credential files: "[Name]" sections of
// "key = value" lines; blank lines and lines starting with '#' or ';' are
// skipped; blanks around names, keys and values are dropped.
#pragma once
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "feed/feed_sources.h"

namespace moravex::feed {

struct SettingsText {
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> sections;
  std::string error;  // "line N: ..." for the first line that does not parse
};

SettingsText ParseSettingsText(std::string_view text);

// The profile `name` of a profile file's text.
ProfileLookup ProfileFromText(std::string_view text, const Text& name);
// The "password" of section `name` of a credential file's text.
PasswordLookup PasswordFromText(std::string_view text, const Text& name);

}  // namespace moravex::feed
