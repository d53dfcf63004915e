// Every method and property of the control's interface the shell can call,
// with the kinds of their arguments.
#pragma once
#include <string>
#include <vector>

#include "tools/shell/shell_driver.h"

namespace moravex::shell {

enum class ArgKind { kText, kLong };

struct ControlMethod {
  std::string label;  // how the output names the call: "Connect", "get DataRequestTimeout"
  std::string name;   // the name on the control's interface
  CallKind kind;
  std::vector<ArgKind> args;
};

const ControlMethod* FindMethod(const std::string& name);
// "get NAME" / "set NAME": the three time-out properties.
const ControlMethod* FindProperty(const std::string& verb, const std::string& name);

}  // namespace moravex::shell
