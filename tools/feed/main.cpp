// moravex-feed: topics in, one JSON line per value change out, kept fresh by
// the feed engine against a server or the simulator run in process.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <map>
#include <string>

#include "feed/feed_engine.h"
#include "feed/posix/posix_sources.h"
#include "posix/event_loop.h"
#include "tools/feed/change_line.h"
#include "tools/feed/feed_command_line.h"
#include "tools/feed/overlaid_profiles.h"
#include "tools/shell/command_tokens.h"
#include "tools/shell/console.h"
#include "tools/shell/json_output.h"
#include "tools/simulator/embedded_server.h"
#include "tools/simulator/options.h"

namespace {

using moravex::Text;
using namespace moravex::feed;

int g_stop_write = -1;

void OnStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(g_stop_write, &byte, 1);
}

void PrintError(const std::string& text) {
  moravex::shell::PrintLine(moravex::shell::JsonObject().Str("feed-error", text).Done());
}

class Feed {
 public:
  Feed(moravex::EventLoop& loop, std::shared_ptr<FeedEngine> engine) : loop_(loop), engine_(std::move(engine)) {}

  void Subscribe(const std::vector<Text>& strings) {
    if (cells_.contains(strings)) return;
    const FeedEngine::CellId id = engine_->Subscribe(strings);
    if (engine_->TopicOf(id) == nullptr) {
      PrintError(moravex::ToUtf8(std::get<Text>(engine_->Value(id))));
      engine_->Unsubscribe(id);
      return;
    }
    cells_[strings] = id;
  }

  void Unsubscribe(const std::vector<Text>& strings) {
    const auto cell = cells_.find(strings);
    if (cell == cells_.end()) return PrintError("not subscribed");
    engine_->Unsubscribe(cell->second);
    cells_.erase(cell);
  }

  // The changes are taken from the loop, after the engine's notification has returned.
  void TakeChangesSoon() {
    loop_.Post([this] { PrintChanges(); });
  }

  void PrintChanges() {
    for (const FeedEngine::Change& change : engine_->TakeChanges()) {
      if (const Topic* topic = engine_->TopicOf(change.id)) moravex::shell::PrintLine(ChangeLine(*topic, change.value));
    }
  }

  // Returns false for quit.
  bool Command(std::string_view line) {
    const auto tokenized = moravex::shell::Tokenize(line);
    if (!tokenized.error.empty()) {
      PrintError(tokenized.error);
      return true;
    }
    const auto& tokens = tokenized.tokens;
    if (tokens.empty() || tokens[0].raw.starts_with("#")) return true;
    std::vector<Text> strings;
    for (size_t i = 1; i < tokens.size(); ++i) strings.push_back(tokens[i].text);
    const std::string& verb = tokens[0].raw;
    if (verb == "quit") return false;
    if (verb == "subscribe") {
      Subscribe(strings);
    } else if (verb == "unsubscribe") {
      Unsubscribe(strings);
    } else if (verb == "debug" && (strings.size() == 1 || strings.size() == 2)) {
      engine_->SendDebugMessage(strings.size() == 2 ? strings[0] : Text(kDefaultProfile), strings.back());
    } else {
      PrintError("unknown command " + std::string(line));
    }
    return true;
  }

 private:
  moravex::EventLoop& loop_;
  std::shared_ptr<FeedEngine> engine_;
  std::map<std::vector<Text>, FeedEngine::CellId> cells_;
};

}  // namespace

int main(int argc, char** argv) {
  const FeedCommandLine options = ParseFeedCommandLine(std::vector<std::string_view>(argv + 1, argv + argc));
  if (options.help || !options.error.empty()) {
    if (!options.error.empty()) std::fprintf(stderr, "moravex-feed: %s\n", options.error.c_str());
    std::puts(kFeedUsage);
    return options.help ? 0 : 2;
  }

  moravex::sim::EmbeddedServer simulator;
  std::shared_ptr<ProfileSource> base_profiles;
  std::shared_ptr<CredentialSource> credentials;
  auto server = options.server;
  if (options.UsesSimulator()) {
    std::vector<std::string_view> args = {"--port", "0"};
    args.insert(args.end(), options.simulator_options.begin(), options.simulator_options.end());
    if (const std::string error = simulator.Start(args); !error.empty()) {
      std::fprintf(stderr, "moravex-feed: simulator: %s\n", error.c_str());
      return 2;
    }
    std::fprintf(stderr, "moravex-feed: simulator on 127.0.0.1:%u\n", static_cast<unsigned>(simulator.port()));
    server.emplace("127.0.0.1", simulator.port());
    auto fixed = std::make_shared<FixedProfiles>();
    fixed->profiles[kDefaultProfile].user = moravex::FromUtf8(moravex::sim::kDemoUser);
    base_profiles = fixed;
    auto passwords = std::make_shared<FixedCredentials>();
    passwords->passwords[kDefaultProfile] = moravex::FromUtf8(moravex::sim::kDemoPassword);
    credentials = passwords;
  } else {
    const std::string folder = DefaultSettingsFolder();
    base_profiles = std::make_shared<ProfileFile>(options.profiles_file.value_or(folder + "/profiles.ini"));
    credentials = std::make_shared<CredentialFile>(options.credentials_file.value_or(folder + "/credentials"));
  }
  auto profiles = std::make_shared<OverlaidProfiles>(base_profiles, server, options.settings);

  moravex::EventLoop loop;
  auto engine = FeedEngine::Create(MakePosixFeedPlatform(loop, profiles, credentials));
  Feed feed(loop, engine);
  if (options.every_ms == 0) engine->SetChangeListener([&feed] { feed.TakeChangesSoon(); });
  for (const auto& topic : options.topics) feed.Subscribe(topic);
  feed.TakeChangesSoon();  // what is known at once (topics that share a profile's status)

  bool done = false;
  int stop_pipe[2];
  if (::pipe(stop_pipe) != 0) return 1;
  g_stop_write = stop_pipe[1];
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  loop.Watch(stop_pipe[0], POLLIN, [&](short) { done = true; });

  std::string partial;
  ::fcntl(STDIN_FILENO, F_SETFL, ::fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
  moravex::EventLoop::Id input = 0;
  input = loop.Watch(STDIN_FILENO, POLLIN, [&](short) {
    char buffer[4096];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
      loop.Unwatch(input);  // the feed goes on without commands
      return;
    }
    partial.append(buffer, static_cast<size_t>(n));
    for (size_t newline; !done && (newline = partial.find('\n')) != std::string::npos;) {
      done = !feed.Command(partial.substr(0, newline));
      partial.erase(0, newline + 1);
    }
  });
  std::function<void()> every = [&] {
    feed.PrintChanges();
    loop.After(std::chrono::milliseconds(options.every_ms), every);
  };
  if (options.every_ms > 0) loop.After(std::chrono::milliseconds(options.every_ms), every);
  const auto until = loop.Now() + std::chrono::milliseconds(options.for_ms);
  while (!done && (options.for_ms == 0 || loop.Now() < until)) loop.RunOnce(std::chrono::milliseconds(50));
  feed.PrintChanges();
  engine->Shutdown();
  simulator.Stop();
  return 0;
}
