// One ordered log shared by the fakes, so a test can see the order of calls
// across the socket and the three timers.
#pragma once
#include <memory>
#include <string>
#include <vector>

namespace moravex {

using CallJournal = std::vector<std::string>;

inline void Note(const std::shared_ptr<CallJournal>& journal, std::string entry) {
  if (journal) journal->push_back(std::move(entry));
}

}  // namespace moravex
