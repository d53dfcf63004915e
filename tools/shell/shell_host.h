// Runs commands against a control through a driver and prints every call
// result and every event as one JSON line.
#pragma once
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tools/shell/command_tokens.h"
#include "tools/shell/control_methods.h"
#include "tools/shell/shell_driver.h"

namespace moravex::shell {

// Command lines not yet run. The platform's input reader appends to it while
// the driver pumps.
struct ShellInput {
  std::deque<std::string> lines;
  bool ended = false;
};

class ShellHost {
 public:
  using Output = std::function<void(const std::string& line)>;

  ShellHost(ShellDriver& driver, Output output);
  ~ShellHost();
  ShellHost(const ShellHost&) = delete;
  ShellHost& operator=(const ShellHost&) = delete;

  // Runs queued lines one after another and pumps events while none is
  // queued, until `quit` or the end of the input.
  void Run(ShellInput& input);
  // Runs one command line; false once the shell should exit.
  bool Execute(std::string_view line);
  // A `quit` run from inside an event handler.
  bool QuitRequested() const { return quit_requested_; }

 private:
  struct Hooks {
    std::vector<std::string> every;  // `on`
    std::vector<std::string> next;   // `once`
  };

  // Prints the event line, counts it and runs the commands hooked to it.
  void OnEvent(std::string_view event, const std::vector<EventArgument>& args);
  void ShellError(const std::string& what);
  void RunControlCommand(const ControlMethod& method, const std::vector<Token>& args);
  // Pumps for any non-negative number of milliseconds, however large.
  bool PumpFor(long long milliseconds, const std::function<bool()>& done);

  ShellDriver& driver_;
  Output output_;
  std::map<std::string, Hooks, std::less<>> hooks_;
  std::map<std::string, long long, std::less<>> fired_;
  int handler_depth_ = 0;
  bool quit_requested_ = false;
};

}  // namespace moravex::shell
