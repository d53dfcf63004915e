#include "feed/topic.h"

namespace moravex::feed {
namespace {

Text Trimmed(const Text& text) {
  const auto first = text.find_first_not_of(u" \t");
  if (first == Text::npos) return {};
  return text.substr(first, text.find_last_not_of(u" \t") - first + 1);
}

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c; }

bool SameName(const Text& typed, const char16_t* name) {
  size_t i = 0;
  for (; name[i] != 0; ++i) {
    if (i >= typed.size() || Lower(typed[i]) != Lower(name[i])) return false;
  }
  return i == typed.size();
}

}  // namespace

ParsedTopic ParseTopic(std::span<const Text> strings) {
  if (strings.empty() || strings.size() > 3)
    return {std::nullopt, u"A topic is FIELD, TICKER FIELD or TICKER FIELD PROFILE"};
  const Text field_name = Trimmed(strings.size() == 1 ? strings[0] : strings[1]);
  Topic topic{strings.size() == 3 ? Trimmed(strings[2]) : Text(), strings.size() >= 2 ? Trimmed(strings[0]) : Text(),
              Field::Status};
  if (topic.profile.empty()) topic.profile = kDefaultProfile;
  int found = -1;
  for (int i = 0; i < kFieldCount; ++i) {
    if (SameName(field_name, kFields[i].name)) found = i;
  }
  if (found < 0) return {std::nullopt, u"Unknown field: " + field_name};
  topic.field = static_cast<Field>(found);
  const FieldRow& row = kFields[found];
  if (row.ticker == TickerRule::kRequired && topic.ticker.empty()) {
    return {std::nullopt, Text(row.name) + u" needs a ticker"};
  }
  if (row.ticker == TickerRule::kNone && !topic.ticker.empty()) {
    return {std::nullopt, Text(row.name) + u" takes no ticker"};
  }
  return {std::move(topic), {}};
}

}  // namespace moravex::feed
