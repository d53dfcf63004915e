// moravex-shell: drives one control from commands on standard input and
// prints call results and events as JSON lines on standard output.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "posix/event_loop.h"
#include "shell_host.h"

namespace {

void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void PrintUsage() {
  std::puts(
      "usage: moravex-shell < commands\n"
      "Reads one command per line from standard input and prints every call result\n"
      "and every event as one JSON object per line. See the README for the commands.");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    const bool help = std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0;
    PrintUsage();
    return help ? 0 : 2;
  }
  moravex::EventLoop loop;
  moravex::shell::ShellHost host(loop, PrintLine);

  // Standard input is read by the loop, so events keep arriving while the
  // shell waits for the next command.
  std::deque<std::string> lines;
  std::string partial;
  bool end_of_input = false;
  ::fcntl(STDIN_FILENO, F_SETFL, ::fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
  moravex::EventLoop::Id watch = 0;
  watch = loop.Watch(STDIN_FILENO, POLLIN, [&](short) {
    char buffer[4096];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
      if (!partial.empty()) lines.push_back(std::move(partial));
      end_of_input = true;
      loop.Unwatch(watch);
      return;
    }
    partial.append(buffer, static_cast<size_t>(n));
    size_t newline;
    while ((newline = partial.find('\n')) != std::string::npos) {
      lines.push_back(partial.substr(0, newline));
      partial.erase(0, newline + 1);
    }
  });

  while (!host.QuitRequested()) {
    if (!lines.empty()) {
      std::string line = std::move(lines.front());
      lines.pop_front();
      if (!host.Execute(line)) break;
      continue;
    }
    if (end_of_input) break;
    loop.RunUntil([&] { return !lines.empty() || end_of_input || host.QuitRequested(); },
                  std::chrono::milliseconds(1000));
  }
  return 0;
}
