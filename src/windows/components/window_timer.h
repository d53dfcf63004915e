// A user-interface timer on the shared message-only window.
#pragma once
#include <memory>
#include <string>

#include "components/message_window.h"
#include "platform/timer_component.h"

namespace moravex::windows {

class WindowTimer final : public TimerComponent {
 public:
  // `name` is the source of the failures the timer throws.
  WindowTimer(std::shared_ptr<MessageWindow> window, std::string name);
  // Safe from inside the timer's own tick handler.
  ~WindowTimer() override;
  WindowTimer(const WindowTimer&) = delete;
  WindowTimer& operator=(const WindowTimer&) = delete;

  void SetTickHandler(std::function<void()> on_tick) override;
  int32_t Interval() const override;
  // Negative intervals are refused; 0 keeps the timer enabled but silent.
  // Setting the interval of an enabled timer starts a full interval from now.
  void SetInterval(int32_t milliseconds) override;
  bool Enabled() const override;
  void SetEnabled(bool enabled) override;

 private:
  class Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace moravex::windows
