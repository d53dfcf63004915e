// Name lookups off the loop thread, on a few threads that every socket of the
// process shares.
//
// At most `limit` threads run at once, however many sockets ask and however
// often; a thread ends when no lookup waits. A lookup that hangs holds only
// its own thread: the next one asked for runs at once on another, until every
// thread hangs; then it waits in line for the first thread to come free (the
// control's connect timer reports a Timeout meanwhile, and the connection is
// still made once the lookup answers). A socket has at most one lookup
// waiting for a thread; its next request replaces that one, and withdrawing
// drops it, so an abandoned lookup that has not started never runs and
// repeated connects to a dead name never pile up. One that has started cannot
// be cancelled (the system's lookups cannot be): it keeps its thread until it
// returns, and the socket drops its late answer. Nothing ever waits for a
// lookup thread.
#pragma once
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace moravex {

inline constexpr size_t kLookupThreadLimit = 4;

class LookupThreads {
 public:
  using Job = std::function<void()>;
  // Starts a detached thread that runs `body`; false when none can start.
  using StartThread = bool (*)(std::function<void()> body);
  // One socket's place in line.
  class Lane {
   private:
    friend class LookupThreads;
    std::optional<Job> waiting;  // guarded by the pool's mutex
    bool in_line = false;
  };

  LookupThreads(size_t limit, StartThread start) : limit_(limit), start_(start) {}
  LookupThreads(const LookupThreads&) = delete;
  LookupThreads& operator=(const LookupThreads&) = delete;

  // Replaces the lane's waiting job. False when no thread exists and none
  // can start; the job is then dropped.
  bool Submit(const std::shared_ptr<Lane>& lane, Job job);
  void Withdraw(Lane& lane);
  // Threads alive now, busy or about to end.
  size_t Threads();

 private:
  void Work();

  const size_t limit_;
  const StartThread start_;
  std::mutex mutex_;
  std::deque<std::shared_ptr<Lane>> line_;
  size_t threads_ = 0;
  size_t busy_ = 0;
};

}  // namespace moravex
