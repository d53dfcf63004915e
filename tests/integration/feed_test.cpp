// moravex-feed and moravex-sim as processes: live values from profile and
// credential files, and recovery after the simulator is killed and started again.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "tests/integration/child_process.h"
#include "tests/integration/shell_session.h"

namespace moravex::testing {
namespace {

using Lines = std::vector<std::string>;

class Feed : public ::testing::Test {
 protected:
  void StartSimulator(const std::string& port, std::vector<std::string> options = {}) {
    std::vector<std::string> argv = {MORAVEX_SIM_PATH, "--port", port, "--user", kUser, "--password", kPassword};
    argv.insert(argv.end(), options.begin(), options.end());
    simulator_ = std::make_unique<ChildProcess>(argv);
    const auto first = simulator_->ReadLine();
    ASSERT_TRUE(first && first->starts_with("listening on 127.0.0.1:"));
    port_ = first->substr(first->rfind(':') + 1);
  }

  void StartFeed(const std::string& password, std::vector<std::string> topics) {
    // CTest runs the cases in parallel: each writes its own files.
    const std::string folder =
        ::testing::TempDir() + "feed-" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-";
    std::ofstream(folder + "profiles.ini") << "[Default]\nport = " << port_ << "\nuser = " << kUser
                                           << "\nconnections = 2\ninterval_ms = 200\nbackoff_base_ms = 100\n"
                                              "backoff_max_ms = 400\n";
    const std::string credentials = folder + "credentials";
    std::ofstream(credentials) << "[Default]\npassword = " << password << "\n";
    ::chmod(credentials.c_str(), 0600);
    std::vector<std::string> argv = {MORAVEX_FEED_PATH, "--profiles", folder + "profiles.ini", "--credentials",
                                     credentials};
    argv.insert(argv.end(), topics.begin(), topics.end());
    feed_ = std::make_unique<ChildProcess>(argv);
  }

  // Reads until a line holds `text`; fails the test when none comes in time.
  Lines Until(const std::string& text, int ms = 5000) {
    Lines lines = feed_->ReadUntil([&](const std::string& l) { return l.find(text) != std::string::npos; },
                                   std::chrono::milliseconds(ms));
    EXPECT_TRUE(!lines.empty() && lines.back().find(text) != std::string::npos) << "no " << text;
    return lines;
  }

  std::string port_;
  std::unique_ptr<ChildProcess> simulator_;
  std::unique_ptr<ChildProcess> feed_;
};

constexpr const char* kLive = R"({"profile":"Default","field":"Status","value":"Live"})";

TEST_F(Feed, LiveValuesThroughTheSimulatorKilledAndStartedAgain) {
  StartSimulator("0", {"--clock", "2026-12-08 09:45:00"});
  StartFeed(kPassword, {"Status", "IBM,Price", "IBM,Rows"});
  Until(kLive);
  const Lines first = Until(R"({"profile":"Default","ticker":"IBM","field":"Rows","value":16})");  // 09:30 to 09:45
  const auto has = [](const Lines& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != l.npos; });
  };
  EXPECT_TRUE(has(first, R"("ticker":"IBM","field":"Price","value":)"));

  simulator_.reset();  // SIGTERM: every connection ends
  Until(R"({"profile":"Default","field":"Status","value":"Reconnecting in 1 s"})");
  StartSimulator(port_, {"--clock", "2026-12-08 09:50:00"});
  Until(kLive);
  // The rows added meanwhile, asked for without any command.
  Until(R"({"profile":"Default","ticker":"IBM","field":"Rows","value":21})");
  feed_->WriteLine("quit");
  EXPECT_EQ(feed_->Wait(), 0);
}

TEST_F(Feed, RefusedLoginSaysSoAndStops) {
  StartSimulator("0");
  StartFeed(std::string(36, 'x'), {"IBM,Status"});
  Until(
      R"({"profile":"Default","ticker":"IBM","field":"Status","value":"Login refused: Invalid user ID or password"})");
  feed_->WriteLine("quit");
  EXPECT_EQ(feed_->Wait(), 0);
}

}  // namespace
}  // namespace moravex::testing
