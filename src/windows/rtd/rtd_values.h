// The crossings between the spreadsheet's arrays and variants and the feed
// engine's topic strings and values.
#pragma once
#include "windows/com/windows_headers.h"

#include <utility>
#include <vector>

#include "feed/feed_value.h"
#include "platform/text.h"

namespace moravex::rtd {

// The formula's strings, in order; an element that is no text is converted
// as Automation converts it (a number to its digits), else read as empty.
std::vector<Text> TopicStrings(const SAFEARRAY* strings);

// A price becomes the double of its shortest decimal text (so 101.3f shows as
// 101.3, not 101.30000305), a count a long, a text a BSTR; nothing yet an
// empty text. Throws std::bad_alloc.
void ToVariant(const feed::FeedValue& value, VARIANT* out);

// RefreshData's 2 x N array: row 0 the topic ids, row 1 their values.
// Throws std::bad_alloc.
SAFEARRAY* TopicValueArray(const std::vector<std::pair<LONG, const feed::FeedValue*>>& values);

}  // namespace moravex::rtd
