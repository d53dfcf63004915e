// The shell's driver over the portable core on the POSIX event loop: the
// control is a ChartServiceClient with the POSIX socket and timers and the
// native row table, and pumping runs the loop.
#pragma once
#include <memory>

#include "posix/event_loop.h"
#include "tools/shell/shell_driver.h"

namespace moravex {
class ChartServiceClient;
}

namespace moravex::shell {

class NativeDriver final : public ShellDriver {
 public:
  // The loop must outlive the driver; the shell's own input may be watched on it too.
  explicit NativeDriver(EventLoop& loop);
  ~NativeDriver() override;

  void SetEventHandler(EventHandler handler) override;
  CallResult Call(std::string_view name, CallKind kind, const std::vector<CallArgument>& args) override;
  bool Pump(int32_t milliseconds, const std::function<bool()>& done) override;
  void New() override;

 private:
  class Sink;

  EventLoop& loop_;
  std::shared_ptr<Sink> sink_;
  std::shared_ptr<ChartServiceClient> control_;
};

}  // namespace moravex::shell
