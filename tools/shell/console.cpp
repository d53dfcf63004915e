#include "tools/shell/console.h"

#include <cstdio>

namespace moravex::shell {

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

}  // namespace moravex::shell
