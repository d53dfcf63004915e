// moravex-feed's command line.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace moravex::feed {

struct FeedCommandLine {
  // HOST:PORT of the Default profile; without it, and without files, the embedded simulator.
  std::optional<std::pair<std::string, int>> server;
  std::optional<std::string> profiles_file;
  std::optional<std::string> credentials_file;
  // "key=value" settings laid over the Default profile.
  std::vector<std::pair<std::string, std::string>> settings;
  std::vector<std::string> simulator_options;
  int every_ms = 0;  // 0: take changes as soon as the engine tells
  int for_ms = 0;    // 0: until quit, end of input or a signal
  std::vector<std::vector<Text>> topics;
  bool help = false;
  std::string error;

  bool UsesSimulator() const { return !server && !profiles_file && !credentials_file; }
};

FeedCommandLine ParseFeedCommandLine(const std::vector<std::string_view>& args);
// "IBM,Price" -> {"IBM", "Price"}; "Status" -> {"Status"}.
std::vector<Text> TopicStrings(std::string_view word);
extern const char* const kFeedUsage;

}  // namespace moravex::feed
