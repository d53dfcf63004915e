#include "native/platform_timer.h"

#include "platform/failure.h"

namespace moravex {

PlatformTimer::~PlatformTimer() {
  core_->enabled = false;
  core_->handler.reset();
  core_->Unschedule();
}

void PlatformTimer::SetTickHandler(std::function<void()> on_tick) {
  if (on_tick) {
    core_->handler = std::make_shared<const std::function<void()>>(std::move(on_tick));
  } else {
    core_->handler.reset();
  }
}

void PlatformTimer::SetInterval(int32_t milliseconds) {
  if (milliseconds < 0) throw Failure(kInvalidPropertyValue, core_->Name(), "Invalid property value");
  core_->interval = milliseconds;
  if (core_->enabled) core_->Schedule();
}

void PlatformTimer::SetEnabled(bool enabled) {
  if (enabled == core_->enabled) return;
  core_->enabled = enabled;
  if (enabled) {
    core_->Schedule();
  } else {
    core_->Unschedule();
  }
}

}  // namespace moravex
