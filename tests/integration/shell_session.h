// A simulator and a shell started for one test, talking over loopback TCP.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/integration/child_process.h"

namespace moravex::testing {

inline const std::string kUser = "integration-user" + std::string(20, '0');
inline const std::string kPassword = "integration-password" + std::string(16, '1');

class ShellSession : public ::testing::Test {
 protected:
  // Starts the simulator with extra options and a shell beside it.
  void Start(std::vector<std::string> simulator_options = {});
  // Starts only the shell (for tests that need no server).
  void StartShellOnly();

  // Sends a command and returns the next line.
  std::string Call(const std::string& command);
  // Sends the command and `until EVENT MS` in one write (so the event cannot
  // slip in between) and returns every line up to (without) the until line,
  // the call's own line first; fails the test when the event did not come.
  std::vector<std::string> CallUntil(const std::string& command, const std::string& event, int milliseconds = 5000);
  // Runs the loop for a while and returns what it printed.
  std::vector<std::string> Wait(int milliseconds);

  void ConnectAndLogin();
  std::string LoginCommand() const;
  std::string ConnectCommand() const;

  int port_ = 0;
  std::unique_ptr<ChildProcess> simulator_;
  std::unique_ptr<ChildProcess> shell_;
};

// A loopback port with nothing listening on it.
int ClosedPort();

}  // namespace moravex::testing
