#include "posix/posix_timer.h"

#include <utility>

#include "platform/failure.h"

namespace moravex {

// The loop's timer callback holds a plain pointer, small enough for the
// callback to need no allocation; it is safe because the one loop timer of
// this object is cancelled before the object goes. The tick holds the object
// for its length, so the handler may destroy the component.
class PosixTimer::Impl : public std::enable_shared_from_this<PosixTimer::Impl> {
 public:
  Impl(EventLoop& loop, std::string name) : loop_(loop), name_(std::move(name)) {}
  ~Impl() { Unschedule(); }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  // Shared so a handler that replaces or clears itself keeps running.
  std::shared_ptr<const std::function<void()>> handler;
  int32_t interval = 5000;
  bool enabled = false;

  const std::string& Name() const { return name_; }

  void Schedule() {
    Unschedule();
    if (!enabled || interval == 0) return;
    pending_ = loop_.After(std::chrono::milliseconds(interval), [this] { Tick(); });
  }

  void Unschedule() {
    if (pending_ != 0) loop_.Cancel(pending_);
    pending_ = 0;
  }

 private:
  void Tick() {
    const auto keep = shared_from_this();
    pending_ = 0;
    // The next tick is due before the handler runs, so the handler may stop,
    // restart or retime the timer and have the last word.
    Schedule();
    const auto current = handler;
    if (current && *current) (*current)();
  }

  EventLoop& loop_;
  std::string name_;
  EventLoop::Id pending_ = 0;
};

// Not make_shared: a separate block is freed with the object, so a use after
// destruction is a use after free that sanitizers can see.
PosixTimer::PosixTimer(EventLoop& loop, std::string name) : impl_(new Impl(loop, std::move(name))) {}

PosixTimer::~PosixTimer() {
  impl_->enabled = false;
  impl_->handler.reset();
  impl_->Unschedule();
}

void PosixTimer::SetTickHandler(std::function<void()> on_tick) {
  if (on_tick) {
    impl_->handler = std::make_shared<const std::function<void()>>(std::move(on_tick));
  } else {
    impl_->handler.reset();
  }
}

int32_t PosixTimer::Interval() const { return impl_->interval; }

void PosixTimer::SetInterval(int32_t milliseconds) {
  if (milliseconds < 0) throw Failure(kInvalidPropertyValue, impl_->Name(), "Invalid property value");
  impl_->interval = milliseconds;
  if (impl_->enabled) impl_->Schedule();
}

bool PosixTimer::Enabled() const { return impl_->enabled; }

void PosixTimer::SetEnabled(bool enabled) {
  if (enabled == impl_->enabled) return;
  impl_->enabled = enabled;
  if (enabled) {
    impl_->Schedule();
  } else {
    impl_->Unschedule();
  }
}

}  // namespace moravex
