// A soak: 500 topics over 100 tickers on the POSIX components against the
// simulator in process, with its faults injected throughout and the server
// stopped and started again twice, the second time with a new password and a
// later clock. Nothing may be lost or left stale, and neither descriptors nor
// heap may grow. MORAVEX_SOAK_SECONDS sets its length (default 60).
#include <gtest/gtest.h>
#include <malloc.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "feed/feed_engine.h"
#include "feed/posix/posix_sources.h"
#include "tools/simulator/embedded_server.h"
#include "tools/simulator/options.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator replaces malloc's statistics (GCC ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace moravex::feed {
namespace {

using Clock = std::chrono::steady_clock;

size_t OpenDescriptors() {
  const std::filesystem::directory_iterator fds("/proc/self/fd");
  return static_cast<size_t>(std::distance(begin(fds), end(fds)));
}

size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 heap = ::mallinfo2();
  return heap.uordblks + heap.hblkhd;
#endif
}

TEST(FeedSoak, FiveHundredTopicsStayWholeAndFreshThroughFaultsAndRestarts) {
  const char* seconds = std::getenv("MORAVEX_SOAK_SECONDS");
  const int64_t total_ms = 1000 * (seconds ? std::atoi(seconds) : 60);
  const std::string first_password{sim::kDemoPassword}, second_password(36, 'n');
  sim::EmbeddedServer server;
  std::string port = "0";
  const auto start_server = [&](const std::string& password, const char* clock) {
    ASSERT_EQ(server.Start({"--port", port, "--password", password, "--clock", clock}), "");
    port = std::to_string(server.port());
  };
  start_server(first_password, "2026-12-08 10:00:00");
  auto profiles = std::make_shared<FixedProfiles>();
  Profile& profile = profiles->profiles[kDefaultProfile];
  profile.port = server.port();
  profile.user = FromUtf8(sim::kDemoUser);
  profile.login_timeout_ms = profile.data_timeout_ms = profile.session_timeout_ms = 1500;
  profile.backoff_base_ms = 200;
  profile.backoff_max_ms = 1600;
  auto credentials = std::make_shared<FixedCredentials>();
  credentials->passwords[kDefaultProfile] = FromUtf8(first_password);
  EventLoop loop;
  auto engine = FeedEngine::Create(MakePosixFeedPlatform(loop, profiles, credentials));
  // Five topics per ticker, in this order.
  std::vector<FeedEngine::CellId> cells;
  for (int ticker = 0; ticker < 100; ++ticker) {
    char name[8];
    std::snprintf(name, sizeof name, "T%02d", ticker);
    for (const char16_t* field : {u"Price", u"Rows", u"Close", u"Updated", u"Status"}) {
      cells.push_back(engine->Subscribe(std::vector<Text>{FromUtf8(name), field}));
    }
  }
  const FeedEngine::CellId status = engine->Subscribe(std::vector<Text>{u"Status"});
  const auto text = [&](FeedEngine::CellId id) {
    const Text* value = std::get_if<Text>(&engine->Value(id));
    return value ? ToUtf8(*value) : std::string();
  };

  // What a consumer taking the changes every 250 ms holds.
  std::map<FeedEngine::CellId, FeedValue> seen;
  const auto wait = [&](const std::function<bool()>& done, int64_t limit_ms) {
    for (; limit_ms > 0 && !done(); limit_ms -= 250) {
      loop.RunUntil(done, std::chrono::milliseconds(250));
      for (FeedEngine::Change& change : engine->TakeChanges()) seen[change.id] = std::move(change.value);
    }
    return done();
  };
  // Every ticker answered after now (Updated is a time text to the second), none stale.
  const auto all_fresh = [&] {
    const std::string since = ToUtf8(PosixClock().WallText());
    return wait(
        [&] {
          for (size_t i = 0; i < cells.size(); i += 5) {
            if (text(cells[i + 3]) <= since || text(cells[i + 4]) != "Live") return false;
          }
          return text(status) == "Live";
        },
        10000);
  };
  const Clock::time_point start = Clock::now();
  // Each for a phase of at least a time-out; they add up until the reset.
  const char* const faults[] = {"!sim delay 400",        "!sim never 6",        "!sim close-mid 6", "!sim never 2,3,4",
                                "!sim delay 250:5,6,10", "!sim close-mid 5,10", "!sim reset"};
  size_t next_fault = 0;
  const auto faults_until = [&](int64_t at_ms) {
    while (Clock::now() - start < std::chrono::milliseconds(at_ms)) {
      engine->SendDebugMessage(kDefaultProfile, FromUtf8(faults[next_fault++ % std::size(faults)]));
      wait([] { return false; }, std::max<int64_t>(1600, total_ms / 20));
    }
    engine->SendDebugMessage(kDefaultProfile, u"!sim reset");
  };
  const auto stopped = [&] { return text(status).starts_with("Reconnecting in "); };

  ASSERT_TRUE(all_fresh());
  // Before any fault: what a leaked connection holds must not hide in the baseline.
  const size_t warm_descriptors = OpenDescriptors(), warm_heap = HeapInUse();
  faults_until(total_ms / 6);
  ASSERT_TRUE(all_fresh());
  faults_until(total_ms / 3);
  server.Stop();
  ASSERT_TRUE(wait(stopped, 5000));
  start_server(first_password, "2026-12-08 10:00:00");
  faults_until(total_ms * 2 / 3);
  server.Stop();
  ASSERT_TRUE(wait(stopped, 5000));
  start_server(second_password, "2026-12-08 10:05:00");
  ASSERT_TRUE(wait([&] { return text(status) == "Login refused: Invalid user ID or password"; }, 10000));
  credentials->passwords[kDefaultProfile] = FromUtf8(second_password);
  faults_until(total_ms * 5 / 6);
  ASSERT_TRUE(all_fresh()) << text(status);

  for (size_t i = 0; i < cells.size(); ++i) {
    EXPECT_TRUE(SameValue(seen[cells[i]], engine->Value(cells[i]))) << i;
    EXPECT_FALSE(std::holds_alternative<std::monostate>(engine->Value(cells[i]))) << i;
  }
  // 09:30 to 10:05, one row a minute: the rows that came while the server was away, none twice.
  for (size_t i = 1; i < cells.size(); i += 5) EXPECT_TRUE(SameValue(engine->Value(cells[i]), int32_t{36})) << i;
  // Both ends of a socket or two may be between a close and a connect; the
  // heap grows by some 20 KiB as the pool's connections are replaced.
  EXPECT_LE(OpenDescriptors(), warm_descriptors + 4);
  EXPECT_LE(HeapInUse(), warm_heap + (192 << 10));
}

}  // namespace
}  // namespace moravex::feed
