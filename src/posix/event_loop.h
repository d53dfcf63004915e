// One-threaded poll loop standing in for the host's message loop. Every
// callback runs on the thread that runs the loop, one at a time.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace moravex {

class EventLoop {
 public:
  using Clock = std::chrono::steady_clock;
  using Callback = std::function<void()>;
  using FdCallback = std::function<void(short revents)>;
  using Id = uint64_t;

  EventLoop();
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Watches a descriptor for poll events (POLLIN, POLLOUT). Safe to change or
  // remove from inside any callback, its own included.
  Id Watch(int fd, short events, FdCallback callback);
  void Modify(Id watch, short events);
  void Unwatch(Id watch);

  // One-shot timer; cancel is safe from inside any callback.
  Id After(std::chrono::milliseconds delay, Callback callback);
  void Cancel(Id timer);

  // Runs the callback from the loop soon, never from inside this call.
  void Post(Callback callback);
  // The same from any thread; wakes a loop that is waiting in poll.
  void PostFromAnyThread(Callback callback);

  // Runs ready callbacks, waiting at most max_wait for something to happen.
  void RunOnce(std::chrono::milliseconds max_wait);
  void RunFor(std::chrono::milliseconds duration);
  // Runs until done() is true (checked after every callback) or the limit
  // passes; returns done().
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

  Clock::time_point Now() const { return Clock::now(); }

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace moravex
