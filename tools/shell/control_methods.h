// Every method and property of the control's interface, callable by name.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "command_tokens.h"
#include "control/chart_service_client.h"

namespace moravex::shell {

enum class ArgKind { kText, kLong };

struct ControlMethod {
  const char* name;
  std::vector<ArgKind> args;
  // Returns the result as JSON ("null" for none); throws Failure.
  std::function<std::string(ChartServiceClient&, const std::vector<Token>&)> call;
};

const ControlMethod* FindMethod(const std::string& name);
// "get NAME" / "set NAME": the three time-out properties.
const ControlMethod* FindProperty(const std::string& verb, const std::string& name);

}  // namespace moravex::shell
