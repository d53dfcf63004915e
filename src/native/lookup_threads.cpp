#include "native/lookup_threads.h"

#include <utility>

namespace moravex {

bool LookupThreads::Submit(const std::shared_ptr<Lane>& lane, Job job) {
  std::optional<Job> replaced;  // its captures end after the lock
  std::unique_lock<std::mutex> lock(mutex_);
  replaced.swap(lane->waiting);
  lane->waiting = std::move(job);
  if (!lane->in_line) {
    line_.push_back(lane);
    lane->in_line = true;
  }
  if (threads_ - busy_ >= line_.size() || threads_ >= limit_) return true;
  ++threads_;
  lock.unlock();
  if (start_([this] { Work(); })) return true;
  lock.lock();
  --threads_;
  if (threads_ > 0) return true;  // a running thread takes it next
  replaced = std::exchange(lane->waiting, std::nullopt);
  return false;
}

void LookupThreads::Withdraw(Lane& lane) {
  std::optional<Job> withdrawn;
  std::lock_guard<std::mutex> lock(mutex_);
  withdrawn.swap(lane.waiting);
}

size_t LookupThreads::Threads() {
  std::lock_guard<std::mutex> lock(mutex_);
  return threads_;
}

void LookupThreads::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!line_.empty()) {
    std::shared_ptr<Lane> lane = std::move(line_.front());
    line_.pop_front();
    lane->in_line = false;
    std::optional<Job> job;
    job.swap(lane->waiting);
    const bool runs = job.has_value();
    if (runs) ++busy_;
    lock.unlock();
    if (runs) {
      try {
        (*job)();
      } catch (...) {
        // Out of memory while posting; the socket is left to its time-out.
      }
    }
    // The socket may be gone; the job's captures end here, unlocked.
    job.reset();
    lane.reset();
    lock.lock();
    if (runs) --busy_;
  }
  --threads_;
}

}  // namespace moravex
