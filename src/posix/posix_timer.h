// The user-interface timer component on an EventLoop.
#pragma once
#include <memory>
#include <string>

#include "platform/timer_component.h"
#include "posix/event_loop.h"

namespace moravex {

class PosixTimer final : public TimerComponent {
 public:
  // `name` is the source of the failures the timer throws.
  PosixTimer(EventLoop& loop, std::string name);
  // Safe from inside the timer's own tick handler.
  ~PosixTimer() override;
  PosixTimer(const PosixTimer&) = delete;
  PosixTimer& operator=(const PosixTimer&) = delete;

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

}  // namespace moravex
