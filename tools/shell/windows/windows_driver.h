// The shell's driver over the registered COM control: created by ProgID,
// called by name through IDispatch, events through a connection-point sink,
// and pumping runs the thread's message loop. Needs an STA on its thread.
#pragma once
#include "windows/com/windows_headers.h"

#include <functional>

#include "windows/com/com_ptr.h"
#include "tools/shell/shell_driver.h"

namespace moravex::shell {

class WindowsDriver final : public ShellDriver {
 public:
  // Pump also wakes when `wake` is signalled and then runs `on_wake` (on this
  // thread), before it checks whether it is done: the input reader's event.
  WindowsDriver(HANDLE wake, std::function<void()> on_wake);
  ~WindowsDriver() override;
  WindowsDriver(const WindowsDriver&) = delete;
  WindowsDriver& operator=(const WindowsDriver&) = delete;

  // The failure of creating the first control, or S_OK.
  HRESULT Status() const { return status_; }

  void SetEventHandler(EventHandler handler) override;
  CallResult Call(std::string_view name, CallKind kind, const std::vector<CallArgument>& args) override;
  bool Pump(int32_t milliseconds, const std::function<bool()>& done) override;
  void New() override;

 private:
  class Sink;

  void Release();

  HANDLE wake_;
  std::function<void()> on_wake_;
  EventHandler handler_;
  HRESULT status_ = S_OK;
  moravex::com::ComPtr<IDispatch> control_;
  moravex::com::ComPtr<IConnectionPoint> point_;
  moravex::com::ComPtr<Sink> sink_;
  DWORD cookie_ = 0;
};

}  // namespace moravex::shell
