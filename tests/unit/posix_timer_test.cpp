#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "posix/event_loop.h"
#include "posix/posix_components.h"

namespace moravex {
namespace {

using std::chrono::milliseconds;

// The orderings below follow from deadlines alone: a loop timer scheduled at
// time t for d ms is due at t + d however late the loop runs, so "tick before
// marker" never depends on scheduling luck.
class PosixTimerTest : public ::testing::Test {
 protected:
  bool RunUntilLogHas(size_t entries) {
    return loop_.RunUntil([&] { return log_.size() >= entries; }, milliseconds(3000));
  }

  EventLoop loop_;
  std::unique_ptr<TimerComponent> timer_ = MakePosixTimer(loop_, "tmrDataRequestTimeout");
  std::vector<std::string> log_;
};

TEST_F(PosixTimerTest, StartsDisabledAtFiveSecondsAndRefusesNegativeIntervals) {
  EXPECT_EQ(timer_->Interval(), 5000);
  EXPECT_FALSE(timer_->Enabled());
  try {
    timer_->SetInterval(-1);
    FAIL() << "negative interval accepted";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.Number(), kInvalidPropertyValue);
    EXPECT_EQ(failure.Source(), "tmrDataRequestTimeout");
    EXPECT_EQ(failure.Description(), "Invalid property value");
  }
  EXPECT_EQ(timer_->Interval(), 5000);
  timer_->SetInterval(0);
  EXPECT_EQ(timer_->Interval(), 0);
}

TEST_F(PosixTimerTest, TicksEveryIntervalUntilTheHandlerDisablesIt) {
  timer_->SetTickHandler([&] {
    log_.push_back("tick");
    if (log_.size() == 3) timer_->SetEnabled(false);
  });
  timer_->SetInterval(5);
  timer_->SetEnabled(true);
  EXPECT_TRUE(log_.empty());
  ASSERT_TRUE(RunUntilLogHas(3));
  EXPECT_FALSE(timer_->Enabled());
  loop_.RunFor(milliseconds(30));
  EXPECT_EQ(log_.size(), 3u);
}

TEST_F(PosixTimerTest, DisabledTimerAndZeroIntervalNeverTick) {
  timer_->SetTickHandler([&] { log_.push_back("tick"); });
  timer_->SetInterval(1);
  loop_.RunFor(milliseconds(20));
  timer_->SetInterval(0);
  timer_->SetEnabled(true);
  loop_.RunFor(milliseconds(20));
  EXPECT_TRUE(timer_->Enabled());
  EXPECT_TRUE(log_.empty());
}

TEST_F(PosixTimerTest, EnablingAnEnabledTimerKeepsItsCountdown) {
  timer_->SetTickHandler([&] { log_.push_back("tick"); });
  timer_->SetInterval(50);
  timer_->SetEnabled(true);  // due at t0 + 50
  loop_.After(milliseconds(30), [&] {
    timer_->SetEnabled(true);
    loop_.After(milliseconds(30), [&] { log_.push_back("marker"); });  // due after t0 + 60
  });
  ASSERT_TRUE(RunUntilLogHas(2));
  EXPECT_EQ(log_, (std::vector<std::string>{"tick", "marker"}));
}

TEST_F(PosixTimerTest, RestartAndIntervalChangeStartAFullIntervalFromNow) {
  timer_->SetTickHandler([&] { log_.push_back("tick"); });
  timer_->SetInterval(50);
  timer_->SetEnabled(true);
  loop_.After(milliseconds(30), [&] {
    timer_->SetInterval(50);  // now due 50 after this point
    loop_.After(milliseconds(30), [&] {
      log_.push_back("marker 1");
      timer_->SetEnabled(false);
      timer_->SetEnabled(true);  // due 50 after this point again
      loop_.After(milliseconds(30), [&] { log_.push_back("marker 2"); });
    });
  });
  ASSERT_TRUE(RunUntilLogHas(3));
  EXPECT_EQ(log_, (std::vector<std::string>{"marker 1", "marker 2", "tick"}));
}

// Restarts only move the due time; the tick still comes one full interval
// after the last of many, not at the end of the first countdown.
TEST_F(PosixTimerTest, ManyRestartsPutTheTickOneIntervalAfterTheLast) {
  timer_->SetTickHandler([&] { log_.push_back("tick"); });
  timer_->SetInterval(40);
  int restarts = 0;
  std::function<void()> restart = [&] {
    timer_->SetEnabled(false);
    timer_->SetEnabled(true);
    if (++restarts < 10) {
      loop_.After(milliseconds(10), restart);
    } else {
      loop_.After(milliseconds(39), [&] { log_.push_back("before"); });
      loop_.After(milliseconds(41), [&] { log_.push_back("after"); });
    }
  };
  timer_->SetEnabled(true);
  loop_.After(milliseconds(10), restart);
  ASSERT_TRUE(RunUntilLogHas(3));
  EXPECT_EQ(log_, (std::vector<std::string>{"before", "tick", "after"}));
}

TEST_F(PosixTimerTest, HandlerMayRetimeTheTimerBecauseTheNextTickIsScheduledFirst) {
  timer_->SetTickHandler([&] {
    log_.push_back("tick");
    timer_->SetInterval(0);  // the tick already scheduled must go
  });
  timer_->SetInterval(5);
  timer_->SetEnabled(true);
  ASSERT_TRUE(RunUntilLogHas(1));
  loop_.RunFor(milliseconds(30));
  EXPECT_EQ(log_.size(), 1u);
  EXPECT_TRUE(timer_->Enabled());
}

TEST_F(PosixTimerTest, HandlerMayDestroyTheTimerAndReplaceItsOwnHandler) {
  auto other = MakePosixTimer(loop_, "tmrSessionInfoTimeout");
  auto marker = std::make_shared<int>(7);
  other->SetTickHandler([&, marker] {
    other->SetTickHandler(nullptr);  // drops this very closure's stored copy
    log_.push_back("other " + std::to_string(*marker));
  });
  marker.reset();
  other->SetInterval(5);
  other->SetEnabled(true);

  timer_->SetTickHandler([&] {
    log_.push_back("destroying");
    timer_.reset();
  });
  timer_->SetInterval(5);
  timer_->SetEnabled(true);
  ASSERT_TRUE(RunUntilLogHas(2));
  loop_.RunFor(milliseconds(30));
  EXPECT_EQ(timer_, nullptr);
  EXPECT_EQ(log_.size(), 2u);
  EXPECT_NE(std::find(log_.begin(), log_.end(), "other 7"), log_.end());
}

TEST(PosixComponents, MakesTheSocketAndTheThreeNamedTimers) {
  EventLoop loop;
  Components components = MakePosixComponents(loop, kDefaultReadSize);
  ASSERT_NE(components.winsock1, nullptr);
  ASSERT_NE(components.record_sets, nullptr);
  ASSERT_NE(components.text, nullptr);
  EXPECT_EQ(components.winsock1->State(), kSocketClosed);
  const std::pair<TimerComponent*, const char*> timers[] = {
      {components.tmr_login_and_connect_timeout.get(), "tmrLoginAndConnectTimeout"},
      {components.tmr_data_request_timeout.get(), "tmrDataRequestTimeout"},
      {components.tmr_session_info_timeout.get(), "tmrSessionInfoTimeout"},
  };
  for (const auto& [timer, name] : timers) {
    ASSERT_NE(timer, nullptr);
    try {
      timer->SetInterval(-5);
      ADD_FAILURE() << name << " took a negative interval";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.Source(), name);
    }
  }
}

}  // namespace
}  // namespace moravex
