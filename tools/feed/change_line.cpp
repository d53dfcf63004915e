#include "tools/feed/change_line.h"

#include "tools/shell/json_output.h"

namespace moravex::feed {

std::string ChangeLine(const Topic& topic, const FeedValue& value) {
  shell::JsonObject line;
  line.Str("profile", topic.profile);
  if (!topic.ticker.empty()) line.Str("ticker", topic.ticker);
  line.Str("field", Text(RowOf(topic.field).name));
  if (const float* price = std::get_if<float>(&value)) {
    line.Single("value", *price);
  } else if (const int32_t* count = std::get_if<int32_t>(&value)) {
    line.Int("value", *count);
  } else if (const Text* text = std::get_if<Text>(&value)) {
    line.Str("value", *text);
  } else {
    line.Raw("value", "null");
  }
  return line.Done();
}

}  // namespace moravex::feed
