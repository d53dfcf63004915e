#include "posix/event_loop.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace moravex {
namespace {

using std::chrono::milliseconds;

// A pipe whose read end is readable until drained.
struct Pipe {
  Pipe() {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    read_end = fds[0];
    write_end = fds[1];
    fcntl(read_end, F_SETFL, O_NONBLOCK);
  }
  ~Pipe() {
    close(read_end);
    close(write_end);
  }
  void Put(const std::string& bytes) const {
    EXPECT_EQ(write(write_end, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  int read_end;
  int write_end;
};

TEST(PosixEventLoop, TimersRunInDeadlineOrderAndSurviveCancellationFromCallbacks) {
  EventLoop loop;
  std::vector<std::string> log;
  EventLoop::Id first = 0;
  EventLoop::Id second = 0;
  EventLoop::Id self = 0;
  first = loop.After(milliseconds(0), [&] {
    log.push_back("first");
    loop.Cancel(second);
    loop.Cancel(first);  // already running: a no-op
  });
  second = loop.After(milliseconds(0), [&] { log.push_back("second"); });
  self = loop.After(milliseconds(0), [&] {
    log.push_back("third");
    loop.Cancel(self);
  });
  loop.After(milliseconds(20), [&] { log.push_back("later"); });
  loop.After(milliseconds(0), [&] { log.push_back("fourth"); });
  ASSERT_TRUE(loop.RunUntil([&] { return log.size() == 4; }, milliseconds(2000)));
  EXPECT_EQ(log, (std::vector<std::string>{"first", "third", "fourth", "later"}));
}

// Cancelled and fired timers leave their slots to later ones; each must keep
// its own deadline and callback.
TEST(PosixEventLoop, TimersMadeFromReusedSlotsKeepTheirOwnDeadlinesAndCallbacks) {
  EventLoop loop;
  std::vector<int> log;
  std::vector<EventLoop::Id> ids;
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 12; ++i) {
      ids.push_back(loop.After(milliseconds(40 - 3 * i), [&log, round, i] { log.push_back(round * 100 + i); }));
    }
    for (size_t k = 0; k < ids.size(); k += 2) loop.Cancel(ids[k]);
    ids.clear();
    // The odd ones of this round, latest deadline first.
    ASSERT_TRUE(loop.RunUntil([&] { return log.size() == 6u * (round + 1); }, milliseconds(2000)));
  }
  loop.RunFor(milliseconds(50));
  std::vector<int> expected;
  for (int round = 0; round < 3; ++round) {
    for (int i = 11; i >= 1; i -= 2) expected.push_back(round * 100 + i);
  }
  EXPECT_EQ(log, expected);
}

TEST(PosixEventLoop, WatchRemovedByAnEarlierCallbackOfTheSameRoundIsNotCalled) {
  EventLoop loop;
  Pipe a;
  Pipe b;
  a.Put("x");
  b.Put("x");
  int calls = 0;
  EventLoop::Id watch_a = 0;
  EventLoop::Id watch_b = 0;
  // Whichever runs first removes both watches; the other must not run.
  const auto callback = [&](short) {
    ++calls;
    loop.Unwatch(watch_a);
    loop.Unwatch(watch_b);
  };
  watch_a = loop.Watch(a.read_end, POLLIN, callback);
  watch_b = loop.Watch(b.read_end, POLLIN, callback);
  loop.RunOnce(milliseconds(1000));
  loop.RunOnce(milliseconds(0));
  EXPECT_EQ(calls, 1);
}

TEST(PosixEventLoop, CallbackThatUnwatchesItselfKeepsItsCapturesAlive) {
  EventLoop loop;
  Pipe pipe_fds;
  pipe_fds.Put("x");
  auto owned = std::make_shared<std::string>("still here");
  std::string seen;
  EventLoop::Id watch = 0;
  watch = loop.Watch(pipe_fds.read_end, POLLIN, [&, owned](short revents) {
    EXPECT_TRUE(revents & POLLIN);
    loop.Unwatch(watch);  // destroys the stored callback; this call runs on
    seen = *owned;        // a copy that ASan would flag if it were gone
  });
  owned.reset();
  loop.RunOnce(milliseconds(1000));
  EXPECT_EQ(seen, "still here");
}

TEST(PosixEventLoop, ModifyToNoEventsSilencesAWatchAndRestoresIt) {
  EventLoop loop;
  Pipe pipe_fds;
  pipe_fds.Put("x");
  int calls = 0;
  const EventLoop::Id watch = loop.Watch(pipe_fds.read_end, POLLIN, [&](short) { ++calls; });
  loop.Modify(watch, 0);
  loop.RunOnce(milliseconds(10));
  EXPECT_EQ(calls, 0);
  loop.Modify(watch, POLLIN);
  loop.RunOnce(milliseconds(1000));
  EXPECT_EQ(calls, 1);
}

TEST(PosixEventLoop, PostRunsLaterInOrderAndPostsFromPostsWaitForTheNextPass) {
  EventLoop loop;
  std::vector<int> log;
  loop.Post([&] {
    log.push_back(1);
    loop.Post([&] { log.push_back(3); });
  });
  loop.Post([&] { log.push_back(2); });
  EXPECT_TRUE(log.empty());
  loop.RunOnce(milliseconds(0));
  EXPECT_EQ(log, (std::vector<int>{1, 2}));
  loop.RunOnce(milliseconds(0));
  EXPECT_EQ(log, (std::vector<int>{1, 2, 3}));
}

TEST(PosixEventLoop, RunUntilStopsRightAfterTheCallbackThatMadeItDone) {
  EventLoop loop;
  std::vector<int> log;
  for (int i = 1; i <= 3; ++i) loop.Post([&log, i] { log.push_back(i); });
  EXPECT_TRUE(loop.RunUntil([&] { return !log.empty(); }, milliseconds(1000)));
  EXPECT_EQ(log, (std::vector<int>{1}));
  loop.RunOnce(milliseconds(0));
  EXPECT_EQ(log, (std::vector<int>{1, 2, 3}));
  EXPECT_FALSE(loop.RunUntil([] { return false; }, milliseconds(5)));
}

TEST(PosixEventLoop, PostFromAnotherThreadWakesAWaitingLoop) {
  EventLoop loop;
  std::atomic<int> delivered{0};
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i) loop.PostFromAnyThread([&] { ++delivered; });
  });
  // Without the wake-up the loop would sleep through the whole limit.
  EXPECT_TRUE(loop.RunUntil([&] { return delivered == 100; }, milliseconds(5000)));
  poster.join();
}

TEST(PosixEventLoop, RemotePosterOutlivesTheLoopAndThenDropsWhatItGets) {
  auto loop = std::make_unique<EventLoop>();
  const EventLoop::RemotePost post = loop->RemotePoster();
  bool ran = false;
  EXPECT_TRUE(post([&] { ran = true; }));
  loop->RunOnce(milliseconds(0));
  EXPECT_TRUE(ran);
  EXPECT_TRUE(post([] {}));  // queued, then dropped with the loop
  loop.reset();
  EXPECT_FALSE(post([] { ADD_FAILURE() << "ran after the loop was gone"; }));
}

TEST(PosixEventLoop, NestedRunDoesNotRepeatWorkOfTheOuterRun) {
  EventLoop loop;
  Pipe first;
  Pipe second;
  first.Put("x");
  second.Put("x");
  int second_calls = 0;
  int posted_calls = 0;
  int timer_calls = 0;
  char byte = 0;
  const EventLoop::Id watch_first = loop.Watch(first.read_end, POLLIN, [&](short) {
    EXPECT_EQ(read(first.read_end, &byte, 1), 1);
    loop.RunOnce(milliseconds(0));  // serves `second`, the timer and the post
  });
  const EventLoop::Id watch_second = loop.Watch(second.read_end, POLLIN, [&](short) {
    ++second_calls;
    EXPECT_EQ(read(second.read_end, &byte, 1), 1);
  });
  loop.After(milliseconds(0), [&] { ++timer_calls; });
  loop.Post([&] { ++posted_calls; });
  loop.RunOnce(milliseconds(1000));
  EXPECT_EQ(second_calls, 1);
  EXPECT_EQ(timer_calls, 1);
  EXPECT_EQ(posted_calls, 1);
  loop.Unwatch(watch_first);
  loop.Unwatch(watch_second);
}

TEST(PosixEventLoop, ExceptionFromACallbackLeavesTheRestQueued) {
  EventLoop loop;
  std::vector<int> log;
  loop.Post([] { throw std::runtime_error("handler failed"); });
  loop.Post([&] { log.push_back(2); });
  EXPECT_THROW(loop.RunOnce(milliseconds(0)), std::runtime_error);
  EXPECT_TRUE(log.empty());
  loop.RunOnce(milliseconds(0));
  EXPECT_EQ(log, (std::vector<int>{2}));
}

}  // namespace
}  // namespace moravex
