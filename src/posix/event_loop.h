// One-threaded poll loop standing in for the host's message loop. Every
// callback runs on the thread that runs the loop, one at a time.
//
// Callbacks may add, change, cancel or remove any watch, timer or post, their
// own included, and may destroy the objects that own them: ready items are
// collected by id and each id is looked up again right before its call. A
// callback may also run the loop again (RunOnce and friends nest); a watch
// already served by the nested run is not served again with stale readiness.
// Destroying the loop itself from inside one of its callbacks is not allowed.
// An exception thrown by a callback leaves the loop consistent and propagates
// out of the Run call; what was not yet run stays queued.
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
  // Posts to the loop from any thread, even after the loop is gone: it then
  // drops the callback and returns false.
  using RemotePost = std::function<bool(Callback)>;

  EventLoop();
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Watches a descriptor for poll events (POLLIN, POLLOUT). Safe to change or
  // remove from inside any callback, its own included. A watch with no events
  // is kept but not polled. Ids are never reused; unknown ids are ignored.
  Id Watch(int fd, short events, FdCallback callback);
  void Modify(Id watch, short events);
  void Unwatch(Id watch);

  // One-shot timer; cancel is safe from inside any callback. Timers due at the
  // same moment run in the order they were added.
  Id After(std::chrono::milliseconds delay, Callback callback);
  void Cancel(Id timer);

  // Runs the callback from the loop soon, never from inside this call.
  // Callbacks posted run in posting order.
  void Post(Callback callback);
  // The same from any thread; wakes a loop that is waiting in poll.
  void PostFromAnyThread(Callback callback);
  // A poster a thread may keep without keeping the loop alive.
  RemotePost RemotePoster() const;

  // Runs ready callbacks, waiting at most max_wait for something to happen.
  void RunOnce(std::chrono::milliseconds max_wait);
  void RunFor(std::chrono::milliseconds duration);
  // Runs until done() is true (checked after every callback) or the limit
  // passes; returns done().
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

  Clock::time_point Now() const { return Clock::now(); }

 private:
  struct State;
  // Returns true when stop said so after some callback. `now` is the time as
  // the caller last read it and comes back as read after the last callback
  // (or the wait), so a pass reads the clock once per callback and once after
  // the wait, and the caller's deadline checks read it not at all.
  bool RunOnceUntil(Clock::duration max_wait, const std::function<bool()>* stop, Clock::time_point& now);

  std::shared_ptr<State> state_;
};

}  // namespace moravex
