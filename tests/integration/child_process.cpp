#include "tests/integration/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace moravex::testing {

ChildProcess::ChildProcess(std::vector<std::string> argv) {
  int to_child[2];
  int from_child[2];
  if (::pipe2(to_child, O_CLOEXEC) != 0 || ::pipe2(from_child, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, to_child[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, from_child[1], STDOUT_FILENO);
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  const int rc = ::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(to_child[0]);
  ::close(from_child[1]);
  in_ = to_child[1];
  out_ = from_child[0];
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
  ::signal(SIGPIPE, SIG_IGN);
}

ChildProcess::~ChildProcess() {
  CloseInput();
  // The shell ends at the end of its input; the simulator needs a signal.
  if (!exited_ && !Exited(std::chrono::milliseconds(100))) {
    ::kill(pid_, SIGTERM);
    Wait(std::chrono::milliseconds(3000));
  }
  if (out_ >= 0) ::close(out_);
}

void ChildProcess::WriteLine(const std::string& line) {
  const std::string data = line + "\n";
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(in_, data.data() + done, data.size() - done);
    if (n <= 0) throw std::runtime_error("child closed its input");
    done += static_cast<size_t>(n);
  }
}

void ChildProcess::CloseInput() {
  if (in_ >= 0) ::close(in_);
  in_ = -1;
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const size_t newline = buffer_.find('\n');
    if (newline != std::string::npos) {
      std::string line = buffer_.substr(0, newline);
      buffer_.erase(0, newline + 1);
      return line;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || out_ < 0) return std::nullopt;
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[4096];
    const ssize_t n = ::read(out_, chunk, sizeof chunk);
    if (n <= 0) {
      ::close(out_);
      out_ = -1;
      continue;
    }
    buffer_.append(chunk, static_cast<size_t>(n));
  }
}

std::vector<std::string> ChildProcess::ReadUntil(const std::function<bool(const std::string&)>& done,
                                                 std::chrono::milliseconds limit) {
  std::vector<std::string> lines;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    auto line = ReadLine(std::max(left, std::chrono::milliseconds(0)));
    if (!line) return lines;
    lines.push_back(*line);
    if (done(*line)) return lines;
  }
}

bool ChildProcess::Exited(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  do {
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      exited_ = true;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return true;
    }
    ::usleep(2000);
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

int ChildProcess::Wait(std::chrono::milliseconds limit) {
  if (exited_ || Exited(limit)) return status_;
  int status = 0;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, &status, 0);
  exited_ = true;
  return -1;
}

}  // namespace moravex::testing
