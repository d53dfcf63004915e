#include "tools/feed/feed_command_line.h"

#include <charconv>

namespace moravex::feed {
namespace {

bool Number(std::string_view text, int& into) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), into);
  return error == std::errc() && end == text.data() + text.size() && into >= 0;
}

FeedCommandLine Refused(std::string error) {
  FeedCommandLine line;
  line.error = std::move(error);
  return line;
}

}  // namespace

const char* const kFeedUsage =
    "usage: moravex-feed [--server HOST:PORT] [--profiles FILE] [--credentials FILE] [--set KEY=VALUE]...\n"
    "                    [--sim OPTION]... [--every MS] [--for MS] [TOPIC]...\n"
    "A TOPIC is FIELD, TICKER,FIELD or TICKER,FIELD,PROFILE (e.g. IBM,Price  Status  IBM,High,Desk2).\n"
    "Prints one JSON line per value change. Standard input takes `subscribe STRINGS...`,\n"
    "`unsubscribe STRINGS...`, `debug [PROFILE] TEXT` and `quit`. Without --server or files\n"
    "it runs the simulator in process (--sim passes it an option).";

std::vector<Text> TopicStrings(std::string_view word) {
  std::vector<Text> strings;
  for (size_t start = 0;;) {
    const size_t comma = word.find(',', start);
    strings.push_back(FromUtf8(word.substr(start, comma - start)));
    if (comma == std::string_view::npos) return strings;
    start = comma + 1;
  }
}

FeedCommandLine ParseFeedCommandLine(const std::vector<std::string_view>& args) {
  FeedCommandLine line;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      line.help = true;
      return line;
    }
    if (arg.substr(0, 2) != "--") {
      line.topics.push_back(TopicStrings(arg));
      continue;
    }
    if (i + 1 >= args.size()) return Refused(std::string(arg) + " needs a value");
    const std::string_view value = args[++i];
    int number = 0;
    if (arg == "--server") {
      const size_t colon = value.rfind(':');
      if (colon == std::string_view::npos || !Number(value.substr(colon + 1), number) || number == 0) {
        return Refused("--server takes HOST:PORT");
      }
      line.server.emplace(std::string(value.substr(0, colon)), number);
    } else if (arg == "--profiles") {
      line.profiles_file = std::string(value);
    } else if (arg == "--credentials") {
      line.credentials_file = std::string(value);
    } else if (arg == "--set") {
      const size_t equals = value.find('=');
      if (equals == std::string_view::npos) return Refused("--set takes KEY=VALUE");
      line.settings.emplace_back(value.substr(0, equals), value.substr(equals + 1));
    } else if (arg == "--sim") {
      line.simulator_options.emplace_back(value);
    } else if (arg == "--every" || arg == "--for") {
      if (!Number(value, number)) return Refused(std::string(arg) + " takes milliseconds");
      (arg == "--every" ? line.every_ms : line.for_ms) = number;
    } else {
      return Refused("unknown option " + std::string(arg));
    }
  }
  return line;
}

}  // namespace moravex::feed
