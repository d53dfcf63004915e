// What both shells print on their console: result lines and the usage text.
#pragma once
#include <string>

namespace moravex::shell {

// One line on standard output, flushed at once so a reader sees it in time.
void PrintLine(const std::string& line);
void PrintUsage();

}  // namespace moravex::shell
