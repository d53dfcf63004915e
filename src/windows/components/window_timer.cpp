#include "components/window_timer.h"

#include <utility>

#include "components/system_text.h"
#include "platform/failure.h"

namespace moravex::windows {

// Ticks arrive as WM_TIMER through the window's procedure, from the message
// loop. Every start takes a fresh SetTimer id and every stop kills it, so a
// WM_TIMER already queued for an earlier start is dropped by the window.
class WindowTimer::Impl : public std::enable_shared_from_this<WindowTimer::Impl> {
 public:
  Impl(std::shared_ptr<MessageWindow> window, std::string name) : window_(std::move(window)), name_(std::move(name)) {}
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
    id_ = window_->StartTimer(static_cast<UINT>(interval), [weak = weak_from_this()] {
      if (const auto self = weak.lock()) self->Tick();
    });
    if (id_ == 0) {
      const DWORD error = GetLastError();
      enabled = false;
      throw Failure(Win32FailureNumber(error), name_,
                    Utf8(SystemMessage(error, "The timer cannot be started")));
    }
  }

  void Unschedule() {
    if (id_ != 0) window_->StopTimer(id_);
    id_ = 0;
  }

 private:
  void Tick() {
    const auto current = handler;
    if (current && *current) (*current)();
  }

  std::shared_ptr<MessageWindow> window_;
  std::string name_;
  UINT_PTR id_ = 0;
};

// Not make_shared: a separate block is freed with the object.
WindowTimer::WindowTimer(std::shared_ptr<MessageWindow> window, std::string name)
    : impl_(new Impl(std::move(window), std::move(name))) {}

WindowTimer::~WindowTimer() {
  impl_->enabled = false;
  impl_->handler.reset();
  impl_->Unschedule();
}

void WindowTimer::SetTickHandler(std::function<void()> on_tick) {
  if (on_tick) {
    impl_->handler = std::make_shared<const std::function<void()>>(std::move(on_tick));
  } else {
    impl_->handler.reset();
  }
}

int32_t WindowTimer::Interval() const { return impl_->interval; }

void WindowTimer::SetInterval(int32_t milliseconds) {
  if (milliseconds < 0) throw Failure(kInvalidPropertyValue, impl_->Name(), "Invalid property value");
  impl_->interval = milliseconds;
  if (impl_->enabled) impl_->Schedule();
}

bool WindowTimer::Enabled() const { return impl_->enabled; }

void WindowTimer::SetEnabled(bool enabled) {
  if (enabled == impl_->enabled) return;
  impl_->enabled = enabled;
  if (enabled) {
    impl_->Schedule();
  } else {
    impl_->Unschedule();
  }
}

}  // namespace moravex::windows
