#include <optional>
#include <utility>

#include "native/platform_timer.h"
#include "posix/posix_components.h"

namespace moravex {
namespace {

// A restart only moves the due time: the loop timer already armed, due no
// later, finds the due time moved when it fires and waits out the rest. So
// restarting per request costs the loop nothing. The loop's callback holds a
// plain pointer, small enough to need no allocation; it is safe because the
// destructor cancels the one loop timer. The tick holds the object for its
// length, so the handler may destroy the component.
class PosixTimerCore final : public TimerCore {
 public:
  using Clock = EventLoop::Clock;

  PosixTimerCore(EventLoop& loop, std::string name) : TimerCore(std::move(name)), loop_(loop) {}
  ~PosixTimerCore() override {
    if (pending_ != 0) loop_.Cancel(pending_);
  }

  void Unschedule() override { due_.reset(); }

 private:
  void Arm() override {
    due_ = Clock::now() + std::chrono::milliseconds(interval);
    if (pending_ != 0 && armed_for_ <= *due_) return;
    if (pending_ != 0) loop_.Cancel(pending_);
    ArmLoopTimer(std::chrono::milliseconds(interval));
  }

  void ArmLoopTimer(std::chrono::milliseconds delay) {
    armed_for_ = *due_;
    pending_ = loop_.After(delay, [this] { OnLoopTimer(); });
  }

  void OnLoopTimer() {
    const auto keep = shared_from_this();
    pending_ = 0;
    if (!due_) return;
    const Clock::time_point now = Clock::now();
    if (now < *due_) {
      ArmLoopTimer(std::chrono::ceil<std::chrono::milliseconds>(*due_ - now));
      return;
    }
    // The next tick is due before the handler runs, so the handler may stop,
    // restart or retime the timer and have the last word.
    Schedule();
    RunHandler();
  }

  EventLoop& loop_;
  EventLoop::Id pending_ = 0;
  std::optional<Clock::time_point> due_;
  Clock::time_point armed_for_;
};

}  // namespace

std::unique_ptr<TimerComponent> MakePosixTimer(EventLoop& loop, std::string name) {
  // Not make_shared: a separate block is freed with the object, so a use after
  // destruction is a use after free that sanitizers can see.
  return std::make_unique<PlatformTimer>(std::shared_ptr<TimerCore>(new PosixTimerCore(loop, std::move(name))));
}

}  // namespace moravex
