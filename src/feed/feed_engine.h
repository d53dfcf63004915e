// The feed engine: its user names topics, it keeps them fresh over a pool of
// logged-in connections per profile, recovers from faults on its own and
// reports each change once, coalesced.
//
// Single-threaded, on the thread of its platform's components. The change
// listener runs at the end of one of the engine's own notifications (a
// control event or its timer), never from inside one of the methods below;
// from inside it the consumer may call any method, or drop the engine.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "feed/backoff.h"
#include "feed/feed_platform.h"
#include "feed/feed_value.h"
#include "feed/profile_feed.h"
#include "feed/topic.h"

namespace moravex::feed {

class FeedEngine : public std::enable_shared_from_this<FeedEngine>, private FeedValues {
 public:
  using CellId = uint64_t;
  struct Change {
    CellId id;
    FeedValue value;
  };

  static std::shared_ptr<FeedEngine> Create(FeedPlatform platform, FeedOptions options = {});
  ~FeedEngine();
  FeedEngine(const FeedEngine&) = delete;
  FeedEngine& operator=(const FeedEngine&) = delete;

  // A new cell for the topic the strings name (see ParseTopic); equal topics
  // share one subscription. A topic that does not parse gets a cell whose
  // value is the reason, reported once as a change.
  CellId Subscribe(std::span<const Text> strings);
  void Unsubscribe(CellId id);
  const FeedValue& Value(CellId id) const;
  // The topic of a cell, if it named one.
  const Topic* TopicOf(CellId id) const;
  // Every cell whose value changed since the last call, once each, with its
  // latest value.
  std::vector<Change> TakeChanges();
  // Told once when the first change waits after a TakeChanges.
  void SetChangeListener(std::function<void()> listener) { listener_ = std::move(listener); }
  // Debug text on every live connection of the profile.
  void SendDebugMessage(const Text& profile, const Text& message);
  // Ends every connection and stops the timer: nothing more is told.
  void Shutdown();
  size_t SubscriptionCount() const { return subscriptions_.size(); }

 private:
  class ConnectionEvents;
  struct Subscription {
    FeedValue value;
    std::vector<CellId> cells;
  };
  struct Cell {
    std::optional<Topic> topic;
    FeedValue reason;  // of a topic that did not parse
  };

  FeedEngine(FeedPlatform platform, FeedOptions options);
  void Start();
  int64_t Now() const { return platform_.clock->SteadyMs(); }
  // Every notification goes through here: the work, then what is now due,
  // then (outermost only) the listener.
  template <class Work>
  void Enter(Work&& work);
  void OnTick();
  // Counts the need of a topic coming (+1) or going (-1).
  void CountNeed(const Topic& topic, int change);
  void UpdateNeeds(const Text& profile);
  void MarkChanged(CellId id);
  void SetValue(const Text& profile, const Text& ticker, Field field, const FeedValue& value) override;

  FeedPlatform platform_;
  FeedOptions options_;
  JitterSource jitter_;
  std::unique_ptr<TimerComponent> timer_;
  std::map<Text, std::unique_ptr<ProfileFeed>> profiles_;
  std::unordered_map<Topic, Subscription, TopicHash, TopicEqual> subscriptions_;
  // How many subscriptions need each (profile, ticker, source): the profile
  // hears of its needs only when one comes or goes.
  std::map<std::tuple<Text, Text, Source>, int> needs_;
  std::unordered_map<CellId, Cell> cells_;
  CellId next_cell_ = 1;
  std::vector<CellId> changed_;
  std::unordered_set<CellId> changed_set_;
  bool told_ = false;
  int depth_ = 0;
  bool shut_down_ = false;
  std::function<void()> listener_;
};

}  // namespace moravex::feed
