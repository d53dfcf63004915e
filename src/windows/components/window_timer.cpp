#include "windows/components/window_timer.h"

#include <chrono>
#include <limits>
#include <optional>
#include <utility>

#include "windows/components/system_text.h"
#include "native/platform_timer.h"
#include "platform/failure.h"

namespace moravex::windows {
namespace {

// Ticks arrive as WM_TIMER through the window's procedure, from the message
// loop. A restart only moves the due time: KillTimer and SetTimer cost a call
// into the window system each, which a control restarting its timer with
// every request would pay per request. The system timer stays armed while it
// fires no later than the due time; a WM_TIMER that comes before the due time
// (an earlier countdown, or one queued before a restart) arms it for the rest
// and delivers nothing, and one that finds the timer disabled stops it.
class WindowTimerCore final : public TimerCore {
 public:
  using Clock = std::chrono::steady_clock;

  WindowTimerCore(std::shared_ptr<MessageWindow> window, std::string name)
      : TimerCore(std::move(name)), window_(std::move(window)) {}
  ~WindowTimerCore() override { StopSystemTimer(); }

  void Unschedule() override { due_.reset(); }

 private:
  void Arm() override {
    const Clock::time_point now = Clock::now();
    due_ = now + std::chrono::milliseconds(interval);
    if (id_ != 0 && armed_for_ <= *due_) return;
    ArmSystemTimer(static_cast<UINT>(interval), now);
  }

  // The next WM_TIMER after `milliseconds`, then every `milliseconds`.
  void ArmSystemTimer(UINT milliseconds, Clock::time_point now) {
    if (id_ != 0) {
      // The same id replaces the countdown and keeps the window's handler.
      if (SetTimer(window_->Handle(), id_, milliseconds, nullptr) == 0) Refuse();
    } else {
      id_ = window_->StartTimer(milliseconds, [weak = weak_from_this()] {
        if (const auto self = weak.lock()) static_cast<WindowTimerCore&>(*self).OnSystemTimer();
      });
      if (id_ == 0) Refuse();
    }
    period_ = milliseconds;
    armed_for_ = now + std::chrono::milliseconds(milliseconds);
  }

  [[noreturn]] void Refuse() {
    const DWORD error = GetLastError();
    StopSystemTimer();
    enabled = false;
    due_.reset();
    throw Failure(Win32FailureNumber(error), Name(), ToUtf8(SystemMessage(error, "The timer cannot be started")));
  }

  void StopSystemTimer() {
    if (id_ != 0) window_->StopTimer(id_);
    id_ = 0;
  }

  void OnSystemTimer() {
    const Clock::time_point now = Clock::now();
    // A periodic system timer fires again within one period of now.
    armed_for_ = now + std::chrono::milliseconds(period_);
    if (!due_) {
      StopSystemTimer();
      return;
    }
    if (now < *due_) {
      RearmOrStop([&] { ArmSystemTimer(RemainingMilliseconds(now), now); });
      return;
    }
    // Back to a period of one interval if the last arming was for a rest.
    if (period_ != static_cast<UINT>(interval)) armed_for_ = Clock::time_point::max();
    // The next tick is due before the handler runs, so the handler may stop,
    // restart or retime the timer and have the last word.
    RearmOrStop([&] { Schedule(); });
    RunHandler();
  }

  // Nothing may leave a tick as an exception; a timer the system refuses to
  // arm again is left disabled, as a failed enable leaves it.
  template <class Step>
  void RearmOrStop(Step step) {
    try {
      step();
    } catch (const Failure&) {}
  }

  UINT RemainingMilliseconds(Clock::time_point now) const {
    const auto rest = std::chrono::ceil<std::chrono::milliseconds>(*due_ - now).count();
    return static_cast<UINT>(std::min<long long>(rest, std::numeric_limits<int32_t>::max()));
  }

  std::shared_ptr<MessageWindow> window_;
  UINT_PTR id_ = 0;
  UINT period_ = 0;
  // No later than the system timer's next WM_TIMER.
  Clock::time_point armed_for_;
  std::optional<Clock::time_point> due_;
};

}  // namespace

std::unique_ptr<TimerComponent> MakeWindowTimer(std::shared_ptr<MessageWindow> window, std::string name) {
  // Not make_shared: a separate block is freed with the object.
  return std::make_unique<PlatformTimer>(
      std::shared_ptr<TimerCore>(new WindowTimerCore(std::move(window), std::move(name))));
}

}  // namespace moravex::windows
