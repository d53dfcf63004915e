// The feed engine on the POSIX components against the simulator in process:
// its faults at run time, a refused login, and the server stopped and
// restarted under a running feed.
#include <gtest/gtest.h>

#include <atomic>

#include "feed/feed_engine.h"
#include "feed/posix/posix_sources.h"
#include "tools/simulator/embedded_server.h"
#include "tools/simulator/options.h"

namespace moravex::feed {
namespace {

// Real time, but every Updated a new text, so each fresh value shows.
class CountingClock final : public FeedClock {
 public:
  int64_t SteadyMs() const override { return real_.SteadyMs(); }
  Text WallText() const override { return FromUtf8(std::to_string(++count_)); }

 private:
  PosixClock real_;
  mutable int count_ = 0;
};

class FeedSimulator : public ::testing::Test {
 protected:
  // Again after a stop: on the same port.
  void StartServer(std::vector<std::string_view> options = {}) {
    options.insert(options.end(), {"--port", port_text_});
    ASSERT_EQ(server_.Start(options), "");
    port_text_ = std::to_string(server_.port());
  }

  void Start(std::vector<std::string_view> options = {}) {
    StartServer(std::move(options));
    auto profiles = std::make_shared<FixedProfiles>();
    Profile& profile = profiles->profiles[kDefaultProfile];
    profile.port = server_.port();
    profile.user = FromUtf8(sim::kDemoUser);
    profile.connections = 1;
    profile.interval_ms = profile.session_interval_ms = 100;
    profile.data_timeout_ms = 400;
    profile.backoff_base_ms = 50;
    profile.backoff_max_ms = 200;
    auto credentials = std::make_shared<FixedCredentials>();
    credentials->passwords[kDefaultProfile] = FromUtf8(sim::kDemoPassword);
    FeedPlatform platform = MakePosixFeedPlatform(loop_, profiles, credentials);
    platform.clock = std::make_shared<CountingClock>();
    platform.make_components = [this, make = platform.make_components] {
      ++connections_;
      return make();
    };
    engine_ = FeedEngine::Create(std::move(platform), FeedOptions{20, 200});
    status_ = Subscribe({u"Status"});
    updated_ = Subscribe({u"IBM", u"Updated"});
    price_ = Subscribe({u"IBM", u"Price"});
  }

  FeedEngine::CellId Subscribe(std::vector<Text> strings) { return engine_->Subscribe(strings); }
  std::string Show(FeedEngine::CellId id) const {
    const Text* text = std::get_if<Text>(&engine_->Value(id));
    return text ? ToUtf8(*text) : "-";
  }
  bool RunUntil(const std::function<bool()>& done, int ms = 3000) {
    return loop_.RunUntil(done, std::chrono::milliseconds(ms));
  }
  // A few fresh values in a row.
  bool Fresh(int count = 3) {
    for (int i = 0; i < count; ++i) {
      const std::string before = Show(updated_);
      if (!RunUntil([&] { return Show(updated_) != before; })) return false;
    }
    return std::holds_alternative<float>(engine_->Value(price_));
  }

  std::string port_text_ = "0";
  sim::EmbeddedServer server_;
  EventLoop loop_;
  std::shared_ptr<FeedEngine> engine_;
  int connections_ = 0;
  FeedEngine::CellId status_ = 0, updated_ = 0, price_ = 0;
};

TEST_F(FeedSimulator, RecoversFromEachFaultOfTheServer) {
  Start();
  ASSERT_TRUE(Fresh());
  // Answers late, not too late: the same connection goes on.
  engine_->SendDebugMessage(kDefaultProfile, u"!sim delay 150:6");
  ASSERT_TRUE(Fresh());
  engine_->SendDebugMessage(kDefaultProfile, u"!sim reset");
  EXPECT_EQ(connections_, 1);
  // Never answered: the time-out replaces the connection.
  engine_->SendDebugMessage(kDefaultProfile, u"!sim never 6");
  ASSERT_TRUE(RunUntil([&] { return connections_ == 2; }));
  ASSERT_TRUE(Fresh());
  // Closed in the middle of an answer.
  engine_->SendDebugMessage(kDefaultProfile, u"!sim close-mid 6");
  ASSERT_TRUE(RunUntil([&] { return connections_ == 3; }));
  ASSERT_TRUE(Fresh());
  EXPECT_EQ(Show(status_), "Live");
}

TEST_F(FeedSimulator, ResumesWhenTheServerComesBack) {
  Start();
  ASSERT_TRUE(Fresh());
  server_.Stop();
  ASSERT_TRUE(RunUntil([&] { return Show(status_).starts_with("Reconnecting in "); }));
  loop_.RunFor(std::chrono::milliseconds(500));
  const std::string frozen = Show(updated_);
  EXPECT_NE(Show(status_), "Live");
  StartServer();
  ASSERT_TRUE(RunUntil([&] { return Show(status_) == "Live"; }));
  ASSERT_TRUE(Fresh());
  EXPECT_NE(Show(updated_), frozen);
}

TEST_F(FeedSimulator, SaysWhyTheServerRefusedTheLogin) {
  Start({"--login-refuse", "7:Account locked"});
  EXPECT_TRUE(RunUntil([&] { return Show(status_) == "Login refused: Account locked"; }));
  loop_.RunFor(std::chrono::milliseconds(500));
  EXPECT_EQ(connections_, 1);
}

}  // namespace
}  // namespace moravex::feed
