#include <utility>

#include "native/platform_timer.h"
#include "posix/posix_components.h"

namespace moravex {
namespace {

// The loop's timer callback holds a plain pointer, small enough for the
// callback to need no allocation; it is safe because the one loop timer of
// this object is cancelled before the object goes. The tick holds the object
// for its length, so the handler may destroy the component.
class PosixTimerCore final : public TimerCore {
 public:
  PosixTimerCore(EventLoop& loop, std::string name) : TimerCore(std::move(name)), loop_(loop) {}
  ~PosixTimerCore() override { PosixTimerCore::Unschedule(); }

  void Unschedule() override {
    if (pending_ != 0) loop_.Cancel(pending_);
    pending_ = 0;
  }

 private:
  void Arm() override { pending_ = loop_.After(std::chrono::milliseconds(interval), [this] { Tick(); }); }

  void Tick() {
    const auto keep = shared_from_this();
    pending_ = 0;
    // The next tick is due before the handler runs, so the handler may stop,
    // restart or retime the timer and have the last word.
    Schedule();
    RunHandler();
  }

  EventLoop& loop_;
  EventLoop::Id pending_ = 0;
};

}  // namespace

std::unique_ptr<TimerComponent> MakePosixTimer(EventLoop& loop, std::string name) {
  // Not make_shared: a separate block is freed with the object, so a use after
  // destruction is a use after free that sanitizers can see.
  return std::make_unique<PlatformTimer>(std::shared_ptr<TimerCore>(new PosixTimerCore(loop, std::move(name))));
}

}  // namespace moravex
