// One profile's side of the engine: its pool of connections, the requests
// that keep its topics fresh, recovery and status. It reports values to the
// engine and never calls the engine's consumer itself.
#pragma once
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "feed/backoff.h"
#include "feed/feed_control.h"
#include "feed/feed_platform.h"
#include "feed/feed_value.h"
#include "feed/pace_limit.h"
#include "feed/topic.h"
#include "feed/work_queue.h"

namespace moravex::feed {

class FeedValues {
 public:
  virtual void SetValue(const Text& profile, const Text& ticker, Field field, const FeedValue& value) = 0;

 protected:
  ~FeedValues() = default;
};

// The sources each ticker's topics need; "" stands for the profile's own topics.
using FeedNeeds = std::map<Text, std::set<Source>>;

struct FeedContext {
  const FeedPlatform& platform;
  const FeedOptions& options;
  JitterSource& jitter;
  FeedValues& values;
  // The sink for the control of connection `index`, generation `generation`.
  std::function<std::shared_ptr<ChartServiceEvents>(int index, uint64_t generation)> make_events;
};

class ProfileFeed {
 public:
  ProfileFeed(Text name, FeedContext context, int64_t now);
  ~ProfileFeed();
  ProfileFeed(const ProfileFeed&) = delete;
  ProfileFeed& operator=(const ProfileFeed&) = delete;

  void SetNeeds(const FeedNeeds& needs, int64_t now);
  // The latest value of a field, subscribed or not; nothing for an unknown ticker.
  const FeedValue& Cached(const Text& ticker, Field field) const;
  // Starts connections whose pause is over, marks stale values, asks the sources again.
  void Tick(int64_t now);
  // Sends every due request some connection can take now.
  void Dispatch(int64_t now);
  void SendDebugMessage(const Text& message);

  // The control events, for connection `index` of `generation`; others are ignored.
  void OnConnected(int index, uint64_t generation, int64_t now);
  void OnLoggedIn(int index, uint64_t generation, int64_t now);
  void OnLoginFailed(int index, uint64_t generation, const Text& reason, int64_t now);
  // Ended, failed, timed out or sent a bad answer: replaced after a pause.
  void OnFault(int index, uint64_t generation, int64_t now);
  void OnText(int index, uint64_t generation, Slot slot, const Text& text, int64_t now);
  void OnPrice(int index, uint64_t generation, Slot slot, float price, int64_t now);
  void OnSupportAndResistance(int index, uint64_t generation, float high, float low, int64_t now);
  void OnRows(int index, uint64_t generation, Slot slot, RecordSet* rows, int64_t now);

 private:
  enum class State { kWaiting, kConnecting, kLoggingIn, kLive };
  struct Connection {
    std::shared_ptr<Control> control;
    State state = State::kWaiting;
    uint64_t generation = 0;
    int attempts = 0;
    int64_t retry_at = 0;
    int32_t retry_delay_ms = 0;
    std::array<std::optional<WorkQueue::Id>, kSlotCount> pending{};
    std::array<int64_t, kSlotCount> pending_since{};
    PaceLimit pace{0, 0};
  };
  struct TickerState {
    std::array<FeedValue, kFieldCount> values{};
    bool polled = false;  // has requests made every interval: can go stale
    bool stale = false;
    int64_t fresh_at = 0;
    bool has_rows = false;
    Text last_time;
    int32_t rows = 0;
    Text refused;  // the control refused the ticker
  };

  void LoadSources(int64_t now);
  void SizePool(int64_t now);
  void StartConnection(int index, int64_t now);
  void Drop(Connection& connection, int64_t now);
  void Refuse(const Text& reason, int64_t now);
  Connection* Find(int index, uint64_t generation);
  int LiveCount() const;
  Slot SlotOf(const WorkItem& item) const;
  void Issue(Connection& connection, Slot slot, WorkQueue::Id id, int64_t now);
  // Frees the connection's slot; the item the answer is for, if it still exists.
  WorkItem* Answered(int index, uint64_t generation, Slot slot, int64_t now);
  void Set(const Text& ticker, Field field, FeedValue value);
  void Set(std::pair<const Text, TickerState>& ticker, Field field, FeedValue value);
  void NewSession(int64_t now);
  void RequeueOncePerSession(int64_t now);
  void RefreshStatus();

  Text name_;
  FeedContext context_;
  std::optional<Profile> profile_;
  Text password_;
  // Why the profile does not connect (no profile, no password, login refused); empty: it does.
  Text blocked_;
  Text refused_user_, refused_password_;
  int64_t recheck_at_ = 0;
  std::vector<Connection> connections_;
  size_t next_connection_ = 0;
  WorkQueue work_;
  std::unordered_map<Text, TickerState> tickers_;
  size_t tickers_wanted_ = 0;
  Text session_date_;
  // Counts sessions and recoveries: once-per-session values are asked again in a new epoch.
  uint64_t epoch_ = 1;
  bool ever_live_ = false;
  uint64_t next_generation_ = 1;
  int64_t wall_at_ = 0;
  Text wall_text_;
};

}  // namespace moravex::feed
