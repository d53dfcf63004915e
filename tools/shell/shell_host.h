// Owns one control, runs commands against it and prints every call result and
// every event as one JSON line.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "command_tokens.h"
#include "control_methods.h"
#include "control/chart_service_client.h"
#include "posix/event_loop.h"

namespace moravex::shell {

class ShellHost final : public ChartServiceEvents {
 public:
  using Output = std::function<void(const std::string& line)>;

  ShellHost(EventLoop& loop, Output output);
  ~ShellHost() override;

  // Runs one command line; false once the shell should exit.
  bool Execute(std::string_view line);
  // A `quit` run from inside an event handler.
  bool QuitRequested() const { return quit_requested_; }

  // Events.
  void Error(int32_t ErrorID, const Text& ErrorDescription) override;
  void Connected() override;
  void Disconnected(const Text& strReason) override;
  void ConnectionFailed() override;
  void LoggedIn() override;
  void LoginFailed(int32_t ErrorID, const Text& ErrorDescription) override;
  void GotDebugMessage(const Text& DebugMessage) override;
  void GotSessionDateTime(const Text& CurrentSessionDateTime) override;
  void GotSessionDate(const Text& CurrentSessionDate) override;
  void GotSessionTime(const Text& CurrentSessionTime) override;
  void Timeout(int32_t CommandType) override;
  void GotFullVantrelData(ObjectRef& PriceChannelData) override;
  void GotVantrelDataUpdates(ObjectRef& PriceChannelData) override;
  void GotPreviousSessionsSupportAndResistancePrices(float PreviousSessionsLastAverageVantrelPrice,
                                                     float PreviousSessionsHighPrice, float PreviousSessionsLowPrice,
                                                     float PreviousSessionsClosingPrice) override;
  void GotPreviousSessionsLastAverageVantrelPrice(float PreviousSessionsLastAverageVantrelPrice) override;
  void GotPreviousSessionsHighPrice(float PreviousSessionsHighPrice) override;
  void GotPreviousSessionsLowPrice(float PreviousSessionsLowPrice) override;
  void GotPreviousSessionsClosingPrice(float PreviousSessionsClosingPrice) override;

 private:
  struct Hooks {
    std::vector<std::string> every;  // `on`
    std::vector<std::string> next;   // `once`
  };

  void NewControl();
  // Prints the event line, counts it and runs the commands hooked to it.
  void Emit(const char* name, const std::string& line);
  void ShellError(const std::string& what);
  bool RunControlCommand(const ControlMethod& method, const std::vector<Token>& args);
  void WaitFor(long long milliseconds, const std::function<bool()>& done, const std::string& event);

  EventLoop& loop_;
  Output output_;
  std::shared_ptr<ChartServiceClient> control_;
  std::map<std::string, Hooks> hooks_;
  std::map<std::string, long long> fired_;
  int handler_depth_ = 0;
  bool quit_requested_ = false;
};

}  // namespace moravex::shell
