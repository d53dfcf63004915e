// A timer that ticks only when the test says so. Like the socket fake, the
// test keeps it through a shared handle and the control owns a proxy.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/timer_component.h"
#include "tests/support/call_journal.h"

namespace moravex {

class FakeTimer final : public TimerComponent, public std::enable_shared_from_this<FakeTimer> {
 public:
  static constexpr int32_t kDesignedInterval = 5000;
  static constexpr int32_t kRefusalNumber = kInvalidPropertyValue;

  explicit FakeTimer(std::string name) : name_(std::move(name)) {}
  static std::unique_ptr<TimerComponent> Share(const std::shared_ptr<FakeTimer>& fake);

  void SetJournal(std::shared_ptr<CallJournal> journal) { journal_ = std::move(journal); }

  // TimerComponent.
  void SetTickHandler(std::function<void()> on_tick) override { on_tick_ = std::move(on_tick); }
  int32_t Interval() const override { return interval_; }
  void SetInterval(int32_t milliseconds) override;
  bool Enabled() const override { return enabled_; }
  void SetEnabled(bool enabled) override;

  // Script. A disabled timer does not tick: returns whether the handler ran.
  bool Tick();
  void RefuseInterval(const std::string& description);
  void RefuseEnabled(const std::string& description);
  void AcceptAll();

  // Record.
  const std::string& Name() const { return name_; }
  const std::vector<bool>& EnabledLog() const { return enabled_log_; }
  void ClearLog() { enabled_log_.clear(); }
  bool HasTickHandler() const { return static_cast<bool>(on_tick_); }

 private:
  std::string name_;
  std::function<void()> on_tick_;
  int32_t interval_ = kDesignedInterval;
  bool enabled_ = false;
  std::optional<Failure> interval_refusal_;
  std::optional<Failure> enabled_refusal_;
  std::vector<bool> enabled_log_;
  std::shared_ptr<CallJournal> journal_;
};

}  // namespace moravex
