// A timer of the host's user-interface thread.
#pragma once
#include <cstdint>
#include <functional>

namespace moravex {

class TimerComponent {
 public:
  virtual ~TimerComponent() = default;

  // Called on the owning thread, never from inside a method of the timer. The
  // handler may disable or destroy the timer; a disabled or destroyed timer
  // delivers no further tick.
  virtual void SetTickHandler(std::function<void()> on_tick) = 0;
  virtual int32_t Interval() const = 0;
  // Throws Failure when the timer refuses the value.
  virtual void SetInterval(int32_t milliseconds) = 0;
  virtual bool Enabled() const = 0;
  // Enabling a disabled timer starts a full interval from now.
  virtual void SetEnabled(bool enabled) = 0;
};

}  // namespace moravex
