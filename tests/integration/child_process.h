// A child process with piped standard input and output, for driving the shell
// and the simulator over real loopback TCP.
#pragma once
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace moravex::testing {

class ChildProcess {
 public:
  explicit ChildProcess(std::vector<std::string> argv);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void WriteLine(const std::string& line);
  void CloseInput();
  // The next output line, or nothing when none comes within the limit.
  std::optional<std::string> ReadLine(std::chrono::milliseconds limit = std::chrono::milliseconds(10000));
  // Reads lines until one satisfies the predicate; returns every line read.
  std::vector<std::string> ReadUntil(const std::function<bool(const std::string&)>& done,
                                     std::chrono::milliseconds limit = std::chrono::milliseconds(10000));
  // Waits for the exit status (-1 on time-out, after which the child is killed).
  int Wait(std::chrono::milliseconds limit = std::chrono::milliseconds(10000));

 private:
  bool Exited(std::chrono::milliseconds limit);

  pid_t pid_ = -1;
  int status_ = 0;
  int in_ = -1;
  int out_ = -1;
  std::string buffer_;
  bool exited_ = false;
};

}  // namespace moravex::testing
