#include "components/window_timer.h"

#include <utility>

#include "components/system_text.h"
#include "native/platform_timer.h"
#include "platform/failure.h"

namespace moravex::windows {
namespace {

// Ticks arrive as WM_TIMER through the window's procedure, from the message
// loop. Every start takes a fresh SetTimer id and every stop kills it, so a
// WM_TIMER already queued for an earlier start is dropped by the window.
class WindowTimerCore final : public TimerCore {
 public:
  WindowTimerCore(std::shared_ptr<MessageWindow> window, std::string name)
      : TimerCore(std::move(name)), window_(std::move(window)) {}
  ~WindowTimerCore() override { WindowTimerCore::Unschedule(); }

  void Unschedule() override {
    if (id_ != 0) window_->StopTimer(id_);
    id_ = 0;
  }

 private:
  void Arm() override {
    id_ = window_->StartTimer(static_cast<UINT>(interval), [weak = weak_from_this()] {
      if (const auto self = weak.lock()) static_cast<WindowTimerCore&>(*self).RunHandler();
    });
    if (id_ == 0) {
      const DWORD error = GetLastError();
      enabled = false;
      throw Failure(Win32FailureNumber(error), Name(), Utf8(SystemMessage(error, "The timer cannot be started")));
    }
  }

  std::shared_ptr<MessageWindow> window_;
  UINT_PTR id_ = 0;
};

}  // namespace

std::unique_ptr<TimerComponent> MakeWindowTimer(std::shared_ptr<MessageWindow> window, std::string name) {
  // Not make_shared: a separate block is freed with the object.
  return std::make_unique<PlatformTimer>(
      std::shared_ptr<TimerCore>(new WindowTimerCore(std::move(window), std::move(name))));
}

}  // namespace moravex::windows
