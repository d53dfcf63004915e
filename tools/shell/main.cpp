// moravex-shell: drives one control from commands on standard input and
// prints call results and events as JSON lines on standard output.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tools/shell/console.h"
#include "tools/shell/native_driver.h"
#include "posix/event_loop.h"
#include "tools/shell/shell_host.h"

int main(int argc, char** argv) {
  if (argc > 1) {
    const bool help = std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0;
    moravex::shell::PrintUsage();
    return help ? 0 : 2;
  }
  moravex::EventLoop loop;
  moravex::shell::NativeDriver driver(loop);
  moravex::shell::ShellHost host(driver, moravex::shell::PrintLine);

  // Standard input is read by the loop, so events keep arriving while the
  // shell waits for the next command.
  moravex::shell::ShellInput input;
  std::string partial;
  ::fcntl(STDIN_FILENO, F_SETFL, ::fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
  moravex::EventLoop::Id watch = 0;
  watch = loop.Watch(STDIN_FILENO, POLLIN, [&](short) {
    char buffer[4096];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
      if (!partial.empty()) input.lines.push_back(std::move(partial));
      input.ended = true;
      loop.Unwatch(watch);
      return;
    }
    partial.append(buffer, static_cast<size_t>(n));
    size_t newline;
    while ((newline = partial.find('\n')) != std::string::npos) {
      input.lines.push_back(partial.substr(0, newline));
      partial.erase(0, newline + 1);
    }
  });
  host.Run(input);
  return 0;
}
