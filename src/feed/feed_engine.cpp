#include "feed/feed_engine.h"

#include "feed/connection_events.h"

namespace moravex::feed {
namespace {

const FeedValue kNoValue;

}  // namespace

std::shared_ptr<FeedEngine> FeedEngine::Create(FeedPlatform platform, FeedOptions options) {
  std::shared_ptr<FeedEngine> engine(new FeedEngine(std::move(platform), options));
  engine->Start();
  return engine;
}

FeedEngine::FeedEngine(FeedPlatform platform, FeedOptions options)
    : platform_(std::move(platform)), options_(options), jitter_(platform_.seed) {}

void FeedEngine::Start() {
  timer_ = platform_.make_timer("tmrFeed");
  timer_->SetInterval(options_.tick_ms);
  timer_->SetTickHandler([weak = weak_from_this()] {
    if (const auto engine = weak.lock()) engine->Enter([&] { engine->OnTick(); });
  });
}

FeedEngine::~FeedEngine() { Shutdown(); }

void FeedEngine::Shutdown() {
  shut_down_ = true;
  listener_ = nullptr;
  profiles_.clear();
  if (timer_) {
    timer_->SetTickHandler(nullptr);
    try {
      timer_->SetEnabled(false);
    } catch (const Failure&) {
      // Without its handler a timer that cannot stop ticks into nothing.
    }
  }
}

template <class Work>
void FeedEngine::Enter(Work&& work) {
  if (shut_down_) return;
  struct Depth {
    int& depth;
    explicit Depth(int& d) : depth(++d) {}
    ~Depth() { --depth; }
  };
  {
    const Depth inside(depth_);
    work();
    const int64_t now = Now();
    for (auto& [name, feed] : profiles_) feed->Dispatch(now);
  }
  if (depth_ > 0 || told_ || changed_.empty() || !listener_) return;
  told_ = true;
  const std::function<void()> listener = listener_;  // it may replace itself
  listener();
}

// Routes one control's events to its connection, holding the engine alive
// for the whole event.
class FeedEngine::ConnectionEvents final : public ChartServiceEventsRoute {
 public:
  ConnectionEvents(std::weak_ptr<FeedEngine> engine, Text profile)
      : engine_(std::move(engine)), profile_(std::move(profile)) {}
  void Deliver(FunctionRef<void(ProfileFeed&, int64_t now)> event) override {
    const auto engine = engine_.lock();
    if (!engine) return;
    engine->Enter([&] {
      const auto feed = engine->profiles_.find(profile_);
      if (feed != engine->profiles_.end()) event(*feed->second, engine->Now());
    });
  }

 private:
  std::weak_ptr<FeedEngine> engine_;
  Text profile_;
};

void FeedEngine::OnTick() {
  const int64_t now = Now();
  for (auto& [name, feed] : profiles_) feed->Tick(now);
}

FeedEngine::CellId FeedEngine::Subscribe(std::span<const Text> strings) {
  const CellId id = next_cell_++;
  ParsedTopic parsed = ParseTopic(strings);
  if (!parsed.topic) {
    cells_[id] = Cell{std::nullopt, std::move(parsed.error)};
    MarkChanged(id);
    return id;
  }
  const Topic topic = *parsed.topic;
  cells_[id] = Cell{topic, {}};
  auto [subscription, added] = subscriptions_.try_emplace(topic);
  subscription->second.cells.push_back(id);
  if (added) {
    if (const auto feed = profiles_.find(topic.profile); feed != profiles_.end()) {
      subscription->second.value = feed->second->Cached(topic.ticker, topic.field);
    }
    CountNeed(topic, +1);
  }
  if (!std::holds_alternative<std::monostate>(Value(id))) MarkChanged(id);
  return id;
}

void FeedEngine::Unsubscribe(CellId id) {
  const auto cell = cells_.find(id);
  if (cell == cells_.end()) return;
  const std::optional<Topic> topic = std::move(cell->second.topic);
  cells_.erase(cell);
  if (!topic) return;
  const auto subscription = subscriptions_.find(*topic);
  auto& cells = subscription->second.cells;
  std::erase(cells, id);
  if (!cells.empty()) return;
  subscriptions_.erase(subscription);
  CountNeed(*topic, -1);
}

const FeedValue& FeedEngine::Value(CellId id) const {
  const auto cell = cells_.find(id);
  if (cell == cells_.end()) return kNoValue;
  if (!cell->second.topic) return cell->second.reason;
  return subscriptions_.at(*cell->second.topic).value;
}

const Topic* FeedEngine::TopicOf(CellId id) const {
  const auto cell = cells_.find(id);
  return cell == cells_.end() || !cell->second.topic ? nullptr : &*cell->second.topic;
}

std::vector<FeedEngine::Change> FeedEngine::TakeChanges() {
  std::vector<Change> changes;
  changes.reserve(changed_.size());
  for (CellId id : changed_) {
    if (cells_.contains(id)) changes.push_back({id, Value(id)});
  }
  changed_.clear();
  changed_set_.clear();
  told_ = false;
  return changes;
}

void FeedEngine::SendDebugMessage(const Text& profile, const Text& message) {
  if (const auto feed = profiles_.find(profile); feed != profiles_.end()) feed->second->SendDebugMessage(message);
}

void FeedEngine::CountNeed(const Topic& topic, int change) {
  const auto [need, added] =
      needs_.try_emplace(std::make_tuple(topic.profile, topic.ticker, RowOf(topic.field).source));
  need->second += change;
  if (need->second == 0) {
    needs_.erase(need);
  } else if (!added) {
    return;
  }
  UpdateNeeds(topic.profile);
}

// What the profile's topics need; a profile without topics goes, and its connections with it.
void FeedEngine::UpdateNeeds(const Text& profile) {
  if (shut_down_) return;
  FeedNeeds needs;
  for (auto it = needs_.lower_bound(std::make_tuple(profile, Text(), Source{}));
       it != needs_.end() && std::get<0>(it->first) == profile; ++it) {
    needs[std::get<1>(it->first)].insert(std::get<2>(it->first));
  }
  auto feed = profiles_.find(profile);
  if (needs.empty()) {
    if (feed != profiles_.end()) profiles_.erase(feed);
  } else {
    if (feed == profiles_.end()) {
      FeedContext context{
          platform_, options_, jitter_, *this, [weak = weak_from_this(), profile](int index, uint64_t generation) {
            return MakeConnectionEvents(std::make_shared<ConnectionEvents>(weak, profile), index, generation);
          }};
      feed = profiles_.emplace(profile, std::make_unique<ProfileFeed>(profile, std::move(context), Now())).first;
    }
    feed->second->SetNeeds(needs, Now());
  }
  if (timer_->Enabled() != !profiles_.empty()) timer_->SetEnabled(!profiles_.empty());
}

void FeedEngine::MarkChanged(CellId id) {
  if (changed_set_.insert(id).second) changed_.push_back(id);
}

void FeedEngine::SetValue(const Text& profile, const Text& ticker, Field field, const FeedValue& value) {
  const auto subscription = subscriptions_.find(TopicParts{profile, ticker, field});
  if (subscription == subscriptions_.end() || SameValue(subscription->second.value, value)) return;
  subscription->second.value = value;
  for (CellId id : subscription->second.cells) MarkChanged(id);
}

}  // namespace moravex::feed
