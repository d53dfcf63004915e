#include "tests/support/fake_timer.h"

namespace moravex {
namespace {

class SharedTimer final : public TimerComponent {
 public:
  explicit SharedTimer(std::shared_ptr<FakeTimer> fake) : fake_(std::move(fake)) {}
  // A destroyed component never ticks again.
  ~SharedTimer() override { fake_->SetTickHandler(nullptr); }
  void SetTickHandler(std::function<void()> on_tick) override { fake_->SetTickHandler(std::move(on_tick)); }
  int32_t Interval() const override { return fake_->Interval(); }
  void SetInterval(int32_t milliseconds) override { fake_->SetInterval(milliseconds); }
  bool Enabled() const override { return fake_->Enabled(); }
  void SetEnabled(bool enabled) override { fake_->SetEnabled(enabled); }

 private:
  std::shared_ptr<FakeTimer> fake_;
};

}  // namespace

std::unique_ptr<TimerComponent> FakeTimer::Share(const std::shared_ptr<FakeTimer>& fake) {
  return std::make_unique<SharedTimer>(fake);
}

void FakeTimer::SetInterval(int32_t milliseconds) {
  Note(journal_, name_ + ".Interval=" + std::to_string(milliseconds));
  if (interval_refusal_) throw *interval_refusal_;
  interval_ = milliseconds;
}

void FakeTimer::SetEnabled(bool enabled) {
  Note(journal_, name_ + (enabled ? ".Enabled=true" : ".Enabled=false"));
  if (enabled_refusal_) throw *enabled_refusal_;
  enabled_log_.push_back(enabled);
  enabled_ = enabled;
}

bool FakeTimer::Tick() {
  if (!enabled_ || !on_tick_) return false;
  // The handler may clear itself (the control dies inside the tick) or drop
  // the test's handle; neither may pull the ground from under this call.
  const auto self = shared_from_this();
  const std::function<void()> handler = on_tick_;
  handler();
  return true;
}

void FakeTimer::RefuseInterval(const std::string& description) {
  interval_refusal_.emplace(kRefusalNumber, name_, description);
}

void FakeTimer::RefuseEnabled(const std::string& description) {
  enabled_refusal_.emplace(kRefusalNumber, name_, description);
}

void FakeTimer::AcceptAll() {
  interval_refusal_.reset();
  enabled_refusal_.reset();
}

}  // namespace moravex
