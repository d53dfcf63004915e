#include "posix/event_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <utility>
#include <vector>

namespace moravex {

namespace {

void MakeNonBlockingAndCloseOnExec(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0 || fcntl(fd, F_SETFD, FD_CLOEXEC) < 0) {
    throw std::system_error(errno, std::generic_category(), "event loop wake pipe");
  }
}

int PollTimeout(EventLoop::Clock::duration wait) {
  if (wait <= EventLoop::Clock::duration::zero()) return 0;
  // Rounded up: waking a little early would only spin until the deadline.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
  return static_cast<int>(std::min<decltype(ms)>(ms, INT_MAX));
}

}  // namespace

struct EventLoop::State {
  struct WatchEntry {
    int fd;
    short events;
    // The newest poll round that looked at this watch; an outer (older) round
    // holds stale readiness for it and skips it.
    uint64_t polled_round;
    // Shared so a callback that unwatches itself keeps running on live captures.
    std::shared_ptr<FdCallback> callback;
  };
  struct TimerEntry {
    Clock::time_point deadline;
    Callback callback;
  };
  // What one pass collects; kept between passes so a busy loop allocates
  // nothing, one set per nesting level.
  struct Scratch {
    std::vector<pollfd> fds;
    std::vector<std::pair<Id, WatchEntry*>> polled;
    std::vector<Id> due;
  };
  class ScratchLease {
   public:
    explicit ScratchLease(State& state) : state_(state) {
      if (state_.scratch.size() == state_.depth) state_.scratch.push_back(std::make_unique<Scratch>());
      scratch_ = state_.scratch[state_.depth++].get();
      scratch_->fds.clear();
      scratch_->polled.clear();
      scratch_->due.clear();
    }
    ~ScratchLease() { --state_.depth; }
    ScratchLease(const ScratchLease&) = delete;
    ScratchLease& operator=(const ScratchLease&) = delete;
    Scratch& operator*() const { return *scratch_; }

   private:
    State& state_;
    Scratch* scratch_;
  };

  State() {
    spare_timers.reserve(kSpareTimers);
    spare_order.reserve(kSpareTimers);
    int fds[2];
    if (pipe(fds) != 0) throw std::system_error(errno, std::generic_category(), "event loop wake pipe");
    wake_read = fds[0];
    wake_write = fds[1];
    MakeNonBlockingAndCloseOnExec(wake_read);
    MakeNonBlockingAndCloseOnExec(wake_write);
  }
  ~State() {
    close(wake_read);
    close(wake_write);
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  // Thread-safe. Returns false when the loop is gone.
  bool Enqueue(Callback callback, bool wake) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (closed) return false;
      posted.push_back(std::move(callback));
    }
    if (wake && !wake_pending.exchange(true)) {
      const char byte = 1;
      // A full pipe already means "wake up"; nothing else can go wrong here.
      [[maybe_unused]] const ssize_t written = write(wake_write, &byte, 1);
    }
    return true;
  }

  void DrainWakePipe() {
    wake_pending = false;
    char buffer[64];
    while (read(wake_read, buffer, sizeof buffer) > 0) {}
  }

  bool HasPosted() {
    std::lock_guard<std::mutex> lock(mutex);
    return !posted.empty();
  }

  // Loop thread only.
  std::map<Id, WatchEntry> watches;
  std::map<Id, TimerEntry> timers;
  std::set<std::pair<Clock::time_point, Id>> timer_order;
  // Nodes of cancelled and fired timers, reused by the next ones: a timer
  // restarted for every request then costs no allocation.
  static constexpr size_t kSpareTimers = 8;
  std::vector<std::map<Id, TimerEntry>::node_type> spare_timers;
  std::vector<std::set<std::pair<Clock::time_point, Id>>::node_type> spare_order;

  void AddTimer(Id id, Clock::time_point deadline, Callback callback) {
    if (spare_timers.empty()) {
      timers.emplace(id, TimerEntry{deadline, std::move(callback)});
    } else {
      auto node = std::move(spare_timers.back());
      spare_timers.pop_back();
      node.key() = id;
      node.mapped() = TimerEntry{deadline, std::move(callback)};
      timers.insert(std::move(node));
    }
    if (spare_order.empty()) {
      timer_order.emplace(deadline, id);
    } else {
      auto node = std::move(spare_order.back());
      spare_order.pop_back();
      node.value() = {deadline, id};
      timer_order.insert(std::move(node));
    }
  }

  // Removes the timer and returns its callback.
  Callback TakeTimer(std::map<Id, TimerEntry>::iterator it) {
    Callback callback = std::move(it->second.callback);
    it->second.callback = nullptr;
    auto order = timer_order.extract({it->second.deadline, it->first});
    auto node = timers.extract(it);
    if (spare_timers.size() < kSpareTimers) {
      spare_timers.push_back(std::move(node));
      spare_order.push_back(std::move(order));
    }
    return callback;
  }
  Id next_id = 1;
  uint64_t round = 0;
  std::vector<std::unique_ptr<Scratch>> scratch;
  size_t depth = 0;

  // Shared with other threads.
  std::mutex mutex;
  std::deque<Callback> posted;
  bool closed = false;
  std::atomic<bool> wake_pending{false};
  int wake_read = -1;
  int wake_write = -1;
};

EventLoop::EventLoop() : state_(std::make_shared<State>()) {}

EventLoop::~EventLoop() {
  // Moved out first so that callbacks whose captures touch the loop while
  // being destroyed find it empty rather than half torn down.
  std::deque<Callback> posted;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->closed = true;
    posted.swap(state_->posted);
  }
  auto watches = std::move(state_->watches);
  auto timers = std::move(state_->timers);
  state_->watches.clear();
  state_->timers.clear();
  state_->timer_order.clear();
}

EventLoop::Id EventLoop::Watch(int fd, short events, FdCallback callback) {
  const Id id = state_->next_id++;
  state_->watches.emplace(id, State::WatchEntry{fd, events, 0, std::make_shared<FdCallback>(std::move(callback))});
  return id;
}

void EventLoop::Modify(Id watch, short events) {
  const auto it = state_->watches.find(watch);
  if (it != state_->watches.end()) it->second.events = events;
}

void EventLoop::Unwatch(Id watch) { state_->watches.erase(watch); }

EventLoop::Id EventLoop::After(std::chrono::milliseconds delay, Callback callback) {
  const Id id = state_->next_id++;
  const Clock::time_point deadline = Clock::now() + std::max(delay, std::chrono::milliseconds::zero());
  state_->AddTimer(id, deadline, std::move(callback));
  return id;
}

void EventLoop::Cancel(Id timer) {
  const auto it = state_->timers.find(timer);
  if (it == state_->timers.end()) return;
  // Destroyed here, not when the node is reused.
  const Callback callback = state_->TakeTimer(it);
}

void EventLoop::Post(Callback callback) { state_->Enqueue(std::move(callback), false); }

void EventLoop::PostFromAnyThread(Callback callback) { state_->Enqueue(std::move(callback), true); }

EventLoop::RemotePost EventLoop::RemotePoster() const {
  return [weak = std::weak_ptr<State>(state_)](Callback callback) {
    const auto state = weak.lock();
    return state && state->Enqueue(std::move(callback), true);
  };
}

bool EventLoop::RunOnceUntil(Clock::duration max_wait, const std::function<bool()>* stop, Clock::time_point& now) {
  // Held for the whole pass: a nested run or a misbehaving callback must not
  // pull the containers away under the iteration below.
  const std::shared_ptr<State> keep = state_;
  State& s = *keep;
  const uint64_t round = ++s.round;
  // After a callback the time is read again, so a long one delays no deadline.
  const auto stopped = [stop, &now] {
    now = Clock::now();
    return stop != nullptr && (*stop)();
  };

  Clock::duration wait = std::max(max_wait, Clock::duration::zero());
  if (s.HasPosted()) wait = Clock::duration::zero();
  if (!s.timer_order.empty()) wait = std::min(wait, s.timer_order.begin()->first - now);

  const State::ScratchLease lease(s);
  std::vector<pollfd>& fds = (*lease).fds;
  auto& polled_watches = (*lease).polled;
  fds.push_back(pollfd{s.wake_read, POLLIN, 0});
  for (auto& [id, watch] : s.watches) {
    if (watch.events == 0) continue;
    fds.push_back(pollfd{watch.fd, watch.events, 0});
    polled_watches.emplace_back(id, &watch);
  }
  const int ready = poll(fds.data(), static_cast<nfds_t>(fds.size()), PollTimeout(wait));
  if (ready < 0 && errno != EINTR) throw std::system_error(errno, std::generic_category(), "poll");
  now = Clock::now();
  // No callback has run yet, so the entries are still the live ones.
  for (const auto& [id, entry] : polled_watches) entry->polled_round = round;
  if (ready > 0 && fds[0].revents != 0) s.DrainWakePipe();

  if (ready > 0) {
    for (size_t i = 0; i < polled_watches.size(); ++i) {
      const short polled = fds[i + 1].revents;
      if (polled == 0) continue;
      const auto it = s.watches.find(polled_watches[i].first);
      if (it == s.watches.end() || it->second.polled_round > round || it->second.events == 0) continue;
      const short revents = static_cast<short>(polled & (it->second.events | POLLERR | POLLHUP | POLLNVAL));
      if (revents == 0) continue;
      const std::shared_ptr<FdCallback> callback = it->second.callback;
      (*callback)(revents);
      if (stopped()) return true;
    }
  }

  std::vector<Id>& due = (*lease).due;
  for (const auto& [deadline, id] : s.timer_order) {
    if (deadline > now) break;
    due.push_back(id);
  }
  for (const Id id : due) {
    const auto it = s.timers.find(id);
    if (it == s.timers.end()) continue;
    const Callback callback = s.TakeTimer(it);
    callback();
    if (stopped()) return true;
  }

  // Only what was posted before this point; later posts wait for the next
  // pass so a callback that keeps posting cannot starve the descriptors.
  size_t count = 0;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    count = s.posted.size();
  }
  for (; count > 0; --count) {
    Callback callback;
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      if (s.posted.empty()) break;
      callback = std::move(s.posted.front());
      s.posted.pop_front();
    }
    callback();
    if (stopped()) return true;
  }
  return false;
}

void EventLoop::RunOnce(std::chrono::milliseconds max_wait) {
  Clock::time_point now = Clock::now();
  RunOnceUntil(max_wait, nullptr, now);
}

void EventLoop::RunFor(std::chrono::milliseconds duration) {
  Clock::time_point now = Clock::now();
  const Clock::time_point deadline = now + duration;
  do {
    RunOnceUntil(deadline - now, nullptr, now);
  } while (now < deadline);
}

bool EventLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  Clock::time_point now = Clock::now();
  const Clock::time_point deadline = now + limit;
  if (done()) return true;
  do {
    if (RunOnceUntil(deadline - now, &done, now) || done()) return true;
  } while (now < deadline);
  return done();
}

}  // namespace moravex
