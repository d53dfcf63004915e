// The three timers of MakeWindowsComponents on their shared window.
#include <gtest/gtest.h>

#include <chrono>
#include <utility>
#include <vector>

#include "windows/components/windows_components.h"
#include "native/platform_socket.h"
#include "platform/failure.h"
#include "tests/windows/pump.h"

namespace moravex::windows {
namespace {

using test::PumpFor;
using test::PumpUntil;

TEST(TimerTest, RestartRunsAFullIntervalFromTheSecondPutAndZeroNeverTicks) {
  Components components = MakeWindowsComponents(kDefaultReadSize);
  TimerComponent& timer = *components.tmr_data_request_timeout;
  EXPECT_EQ(timer.Interval(), 5000);
  EXPECT_FALSE(timer.Enabled());
  int ticks = 0;
  timer.SetTickHandler([&] { ++ticks; });
  timer.SetInterval(200);
  timer.SetEnabled(true);
  PumpFor(120);
  timer.SetEnabled(false);
  timer.SetEnabled(true);
  const ULONGLONG restarted = GetTickCount64();
  ASSERT_TRUE(PumpUntil([&] { return ticks > 0; }, 2000));
  // Without the restart it would have ticked some 80 ms after the second put.
  EXPECT_GE(GetTickCount64() - restarted, 150u);
  EXPECT_TRUE(PumpUntil([&] { return ticks > 1; }, 2000));

  timer.SetInterval(0);
  ticks = 0;
  PumpFor(300);
  EXPECT_EQ(ticks, 0);
  EXPECT_TRUE(timer.Enabled());
}

TEST(TimerTest, NegativeIntervalIsRefusedInTheTimersOwnName) {
  Components components = MakeWindowsComponents(kDefaultReadSize);
  const std::pair<TimerComponent*, const char*> timers[] = {
      {components.tmr_login_and_connect_timeout.get(), "tmrLoginAndConnectTimeout"},
      {components.tmr_data_request_timeout.get(), "tmrDataRequestTimeout"},
      {components.tmr_session_info_timeout.get(), "tmrSessionInfoTimeout"}};
  for (const auto& [timer, name] : timers) {
    timer->SetInterval(700);
    try {
      timer->SetInterval(-1);
      ADD_FAILURE() << name;
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.Number(), kInvalidPropertyValue);
      EXPECT_EQ(failure.Source(), name);
      EXPECT_EQ(failure.Description(), "Invalid property value");
    }
    EXPECT_EQ(timer->Interval(), 700);
  }
}

TEST(TimerTest, DisabledOrDestroyedTimersTickNoMoreWhileTheOthersGoOn) {
  Components components = MakeWindowsComponents(kDefaultReadSize);
  int login = 0;
  int session = 0;
  int data = 0;
  components.tmr_login_and_connect_timeout->SetTickHandler([&] {
    if (++login == 2) components.tmr_login_and_connect_timeout->SetEnabled(false);
  });
  components.tmr_session_info_timeout->SetTickHandler([&] {
    ++session;
    components.tmr_session_info_timeout.reset();
  });
  components.tmr_data_request_timeout->SetTickHandler([&] { ++data; });
  for (TimerComponent* timer : {components.tmr_login_and_connect_timeout.get(),
                                components.tmr_session_info_timeout.get(), components.tmr_data_request_timeout.get()}) {
    timer->SetInterval(20);
    timer->SetEnabled(true);
  }
  EXPECT_EQ(login + session + data, 0);  // ticks come only from the message loop
  PumpFor(400);
  EXPECT_EQ(login, 2);
  EXPECT_EQ(session, 1);
  EXPECT_GT(data, 3);

  // The window lives on with its last user.
  components.winsock1.reset();
  components.tmr_login_and_connect_timeout.reset();
  data = 0;
  EXPECT_TRUE(PumpUntil([&] { return data > 0; }, 2000));
}

// A restart only moves the due time while the system timer stays armed; the
// tick must still come a full interval after the last restart, never before.
TEST(TimerTest, RestartsMoveTheDueTimeAndTheTickComesAFullIntervalAfterTheLast) {
  using Clock = std::chrono::steady_clock;
  const auto since = [](Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  };
  Components components = MakeWindowsComponents(kDefaultReadSize);
  TimerComponent& timer = *components.tmr_session_info_timeout;
  std::vector<Clock::time_point> ticks;
  timer.SetTickHandler([&] { ticks.push_back(Clock::now()); });
  timer.SetInterval(150);

  // Restarted shortly before the first countdown ends: nothing at its end.
  timer.SetEnabled(true);
  PumpFor(130);
  timer.SetEnabled(false);
  timer.SetEnabled(true);
  Clock::time_point restarted = Clock::now();
  ASSERT_TRUE(PumpUntil([&] { return !ticks.empty(); }, 2000));
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(ticks[0] - restarted).count(), 150);
  // And the next one a full interval after that tick.
  ASSERT_TRUE(PumpUntil([&] { return ticks.size() > 1; }, 2000));
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(ticks[1] - ticks[0]).count(), 150);

  // Many restarts, as with a request per answer: one tick, after the last.
  ticks.clear();
  for (int i = 0; i < 25; ++i) {
    timer.SetEnabled(false);
    timer.SetEnabled(true);
    restarted = Clock::now();
    PumpFor(12);
  }
  EXPECT_TRUE(ticks.empty());
  ASSERT_TRUE(PumpUntil([&] { return !ticks.empty(); }, 2000));
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(ticks[0] - restarted).count(), 150);

  // A shorter interval takes effect at once, though the armed countdown is longer.
  timer.SetInterval(2000);
  ticks.clear();
  const Clock::time_point shortened = Clock::now();
  timer.SetInterval(40);
  ASSERT_TRUE(PumpUntil([&] { return !ticks.empty(); }, 1000));
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(ticks[0] - shortened).count(), 40);
  EXPECT_LT(since(shortened), 1000);

  // Disabled with a countdown still armed: no tick follows.
  timer.SetEnabled(false);
  ticks.clear();
  PumpFor(150);
  EXPECT_TRUE(ticks.empty());
}

}  // namespace
}  // namespace moravex::windows
