// What every platform's timer component shares: the tick handler, the
// interval and the enabled switch, with the refusal of negative intervals and
// a full interval from every start. A platform supplies only its clock (Arm,
// Unschedule) and calls RunHandler on each tick.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/timer_component.h"

namespace moravex {

class TimerCore : public std::enable_shared_from_this<TimerCore> {
 public:
  explicit TimerCore(std::string name) : name_(std::move(name)) {}
  virtual ~TimerCore() = default;
  TimerCore(const TimerCore&) = delete;
  TimerCore& operator=(const TimerCore&) = delete;

  // Shared so a handler that replaces or clears itself keeps running.
  std::shared_ptr<const std::function<void()>> handler;
  int32_t interval = 5000;
  bool enabled = false;

  // The source of the failures the timer throws.
  const std::string& Name() const { return name_; }
  // Arms a tick one full interval from now; nothing when disabled or at 0.
  void Schedule() {
    Unschedule();
    if (enabled && interval != 0) Arm();
  }
  virtual void Unschedule() = 0;

 protected:
  virtual void Arm() = 0;
  void RunHandler() {
    const auto current = handler;
    if (current && *current) (*current)();
  }

 private:
  std::string name_;
};

// The component over a core that a tick in progress also holds, so the
// handler may destroy the component from inside its own tick.
class PlatformTimer final : public TimerComponent {
 public:
  explicit PlatformTimer(std::shared_ptr<TimerCore> core) : core_(std::move(core)) {}
  ~PlatformTimer() override;
  PlatformTimer(const PlatformTimer&) = delete;
  PlatformTimer& operator=(const PlatformTimer&) = delete;

  void SetTickHandler(std::function<void()> on_tick) override;
  int32_t Interval() const override { return core_->interval; }
  // Negative intervals are refused; 0 keeps the timer enabled but silent.
  // Setting the interval of an enabled timer starts a full interval from now.
  void SetInterval(int32_t milliseconds) override;
  bool Enabled() const override { return core_->enabled; }
  void SetEnabled(bool enabled) override;

 private:
  std::shared_ptr<TimerCore> core_;
};

}  // namespace moravex
