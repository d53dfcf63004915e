#include "feed/profile_feed.h"

#include <algorithm>
#include <vector>

#include "feed/status_text.h"

namespace moravex::feed {
namespace {

constexpr int kStaleIntervals = 3;
const FeedValue kNothing;
const Text kNoTicker;

bool IsPeriodic(Source source) {
  return source == Source::PriceChannel || source == Source::SessionTime || source == Source::SessionDate ||
         source == Source::SessionDateTime;
}

Slot FixedSlotOf(Source source) {
  switch (source) {
    case Source::SessionTime: return Slot::SessionTime;
    case Source::SessionDate: return Slot::SessionDate;
    case Source::SessionDateTime: return Slot::SessionDateTime;
    case Source::LastAverage: return Slot::LastAverage;
    case Source::High: return Slot::High;
    case Source::Low: return Slot::Low;
    case Source::Close: return Slot::Close;
    case Source::SupportAndResistance: return Slot::SupportAndResistance;
    case Source::PriceChannel:
    case Source::Engine: break;
  }
  return Slot::Full;
}

Field PriceField(Slot slot) {
  switch (slot) {
    case Slot::High: return Field::High;
    case Slot::Low: return Field::Low;
    case Slot::Close: return Field::Close;
    default: return Field::LastAverage;
  }
}

}  // namespace

ProfileFeed::ProfileFeed(Text name, FeedContext context, int64_t now)
    : name_(std::move(name)), context_(std::move(context)) {
  tickers_[Text()].fresh_at = now;
  LoadSources(now);
}

ProfileFeed::~ProfileFeed() {
  for (Connection& connection : connections_) {
    if (connection.control) connection.control->SetEvents(nullptr);
  }
}

void ProfileFeed::LoadSources(int64_t now) {
  recheck_at_ = now + context_.options.recheck_ms;
  const ProfileLookup lookup = context_.platform.profiles->Find(name_);
  if (!lookup.profile) {
    blocked_ = u"No profile: " + FromUtf8(lookup.error);
    return;
  }
  const PasswordLookup password = context_.platform.credentials->Password(name_);
  if (!password.password) {
    blocked_ = u"No password: " + FromUtf8(password.error);
    return;
  }
  const bool refused_again =
      !refused_user_.empty() && lookup.profile->user == refused_user_ && *password.password == refused_password_;
  if (refused_again) return;  // the same credentials would be refused the same way
  profile_ = lookup.profile;
  password_ = *password.password;
  refused_user_.clear();
  refused_password_.clear();
  blocked_.clear();
  for (Connection& connection : connections_) {
    connection.attempts = 0;
    connection.retry_at = now;
  }
}

void ProfileFeed::SetNeeds(const FeedNeeds& needs, int64_t now) {
  FeedNeeds wanted = needs;
  wanted[Text()].insert(Source::SessionDate);  // tells when a new session starts
  std::vector<WorkQueue::Id> unwanted;
  work_.ForEach([&](WorkQueue::Id id, WorkItem& item) {
    const auto ticker = wanted.find(item.ticker);
    if (ticker == wanted.end() || !ticker->second.contains(item.source)) unwanted.push_back(id);
  });
  for (WorkQueue::Id id : unwanted) work_.Remove(id);
  for (auto it = tickers_.begin(); it != tickers_.end();) {
    it = wanted.contains(it->first) ? std::next(it) : tickers_.erase(it);
  }
  for (const auto& [ticker, sources] : wanted) {
    auto [state, added] = tickers_.try_emplace(ticker);
    if (added) state->second.fresh_at = now;
    state->second.polled = false;
    for (Source source : sources) {
      if (source == Source::Engine) continue;
      state->second.polled |= IsPeriodic(source);
      if (work_.Find(ticker, source)) continue;
      const WorkQueue::Id id = work_.Add(ticker, source);
      work_.Queue(id, SlotOf(*work_.Find(id)), now);
    }
  }
  tickers_wanted_ = wanted.size() - 1;
  SizePool(now);
  Tick(now);
  RefreshStatus();
}

// One connection per ticker up to the profile's pool size; a pool never shrinks while in use.
void ProfileFeed::SizePool(int64_t now) {
  if (!profile_) return;
  const size_t target =
      std::min<size_t>(static_cast<size_t>(profile_->connections), std::max<size_t>(1, tickers_wanted_));
  while (connections_.size() < target) {
    connections_.emplace_back();
    connections_.back().retry_at = now;
  }
}

const FeedValue& ProfileFeed::Cached(const Text& ticker, Field field) const {
  const auto found = tickers_.find(ticker);
  return found == tickers_.end() ? kNothing : found->second.values[static_cast<int>(field)];
}

void ProfileFeed::Tick(int64_t now) {
  if (!blocked_.empty() && now >= recheck_at_) {
    LoadSources(now);
    SizePool(now);
  }
  bool changed = false;
  if (blocked_.empty()) {
    for (size_t i = 0; i < connections_.size(); ++i) {
      if (connections_[i].state == State::kWaiting && connections_[i].retry_at <= now) {
        StartConnection(static_cast<int>(i), now);
        changed = true;
      }
    }
  }
  // The control's time-outs restart with every request of their group, so a
  // busy connection could keep one unanswered request alive for ever.
  for (Connection& connection : connections_) {
    if (connection.state != State::kLive) continue;
    const int64_t limit = 2 * int64_t{std::max(profile_->data_timeout_ms, profile_->session_timeout_ms)};
    for (int slot = 0; slot < kSlotCount; ++slot) {
      if (connection.pending[slot] && now - connection.pending_since[slot] > limit) {
        Drop(connection, now);
        changed = true;
        break;
      }
    }
  }
  for (auto& [ticker, state] : tickers_) {
    const int32_t interval = ticker.empty() ? profile_ ? profile_->session_interval_ms : 1000
                             : profile_     ? profile_->interval_ms
                                            : 1000;
    if (state.polled && !state.stale && now - state.fresh_at > int64_t{kStaleIntervals} * interval) {
      state.stale = true;
      changed = true;
    }
  }
  if (changed) RefreshStatus();
}

void ProfileFeed::StartConnection(int index, int64_t now) {
  Connection& connection = connections_[index];
  connection.generation = next_generation_++;
  connection.state = State::kConnecting;
  try {
    connection.control = Control::Create(context_.platform.make_components());
    connection.control->SetLoginAndConnectTimeout(profile_->login_timeout_ms);
    connection.control->SetDataRequestTimeout(profile_->data_timeout_ms);
    connection.control->SetSessionInfoTimeout(profile_->session_timeout_ms);
    connection.control->SetEvents(context_.make_events(index, connection.generation));
    connection.control->Connect(profile_->server, profile_->port);
  } catch (const Failure&) {
    Drop(connection, now);
  }
}

// The control goes (closing its socket); what it had pending is asked again
// elsewhere, and the connection waits its pause.
void ProfileFeed::Drop(Connection& connection, int64_t now) {
  if (connection.control) {
    connection.control->SetEvents(nullptr);
    connection.control.reset();
  }
  for (auto& pending : connection.pending) {
    if (!pending) continue;
    if (WorkItem* item = work_.Find(*pending)) {
      item->in_flight = false;
      work_.Queue(*pending, SlotOf(*item), now);
    }
    pending.reset();
  }
  connection.state = State::kWaiting;
  connection.retry_delay_ms = BackoffDelay(*profile_, connection.attempts++, context_.jitter.Next());
  connection.retry_at = now + connection.retry_delay_ms;
}

void ProfileFeed::Refuse(const Text& reason, int64_t now) {
  for (Connection& connection : connections_) Drop(connection, now);
  blocked_ = u"Login refused: " + reason;
  refused_user_ = profile_->user;
  refused_password_ = password_;
  recheck_at_ = now + context_.options.recheck_ms;
  RefreshStatus();
}

ProfileFeed::Connection* ProfileFeed::Find(int index, uint64_t generation) {
  if (index < 0 || static_cast<size_t>(index) >= connections_.size()) return nullptr;
  Connection& connection = connections_[index];
  return connection.generation == generation && connection.control ? &connection : nullptr;
}

int ProfileFeed::LiveCount() const {
  return static_cast<int>(std::count_if(connections_.begin(), connections_.end(),
                                        [](const Connection& c) { return c.state == State::kLive; }));
}

Slot ProfileFeed::SlotOf(const WorkItem& item) const {
  if (item.source != Source::PriceChannel) return FixedSlotOf(item.source);
  const auto ticker = tickers_.find(item.ticker);
  return ticker != tickers_.end() && ticker->second.has_rows ? Slot::Updates : Slot::Full;
}

void ProfileFeed::OnConnected(int index, uint64_t generation, int64_t now) {
  Connection* connection = Find(index, generation);
  if (connection == nullptr) return;
  try {
    connection->control->Login(profile_->user, password_, u"");
    connection->state = State::kLoggingIn;
  } catch (const Failure& failure) {
    if (failure.Number() == kBadCredentialsError) {
      Refuse(FromUtf8(failure.Description()), now);
      return;
    }
    Drop(*connection, now);
  }
  RefreshStatus();
}

void ProfileFeed::OnLoggedIn(int index, uint64_t generation, int64_t now) {
  Connection* connection = Find(index, generation);
  if (connection == nullptr) return;
  if (LiveCount() == 0 && ever_live_) {
    // Back after losing every connection: the server may have restarted.
    ++epoch_;
    RequeueOncePerSession(now);
  }
  ever_live_ = true;
  connection->state = State::kLive;
  connection->attempts = 0;
  connection->pace = PaceLimit(profile_->pace, now);
  RefreshStatus();
}

void ProfileFeed::OnLoginFailed(int index, uint64_t generation, const Text& reason, int64_t now) {
  if (Find(index, generation) != nullptr) Refuse(reason, now);
}

void ProfileFeed::OnFault(int index, uint64_t generation, int64_t now) {
  Connection* connection = Find(index, generation);
  if (connection == nullptr) return;
  Drop(*connection, now);
  RefreshStatus();
}

void ProfileFeed::Dispatch(int64_t now) {
  if (!blocked_.empty()) return;
  SlotSet busy;  // kinds no connection can take now
  while (const std::optional<Slot> slot = work_.EarliestDue(now, busy)) {
    const int s = static_cast<int>(*slot);
    Connection* chosen = nullptr;
    for (size_t n = 0; n < connections_.size() && chosen == nullptr; ++n) {
      Connection& candidate = connections_[(next_connection_ + n) % connections_.size()];
      if (candidate.state == State::kLive && !candidate.pending[s] && candidate.pace.TryTake(now)) {
        chosen = &candidate;
        next_connection_ = (next_connection_ + n + 1) % connections_.size();
      }
    }
    if (chosen == nullptr) {
      busy[s] = true;
      continue;
    }
    Issue(*chosen, *slot, work_.PopFront(*slot), now);
  }
}

void ProfileFeed::Issue(Connection& connection, Slot slot, WorkQueue::Id id, int64_t now) {
  WorkItem& item = *work_.Find(id);
  TickerState& ticker = tickers_[item.ticker];
  Control& control = *connection.control;
  try {
    switch (slot) {
      case Slot::Full: control.GetFullPriceChannelData(item.ticker, profile_->full_rows); break;
      case Slot::Updates: control.GetPriceChannelDataUpdates(item.ticker, ticker.last_time); break;
      case Slot::SessionTime: control.GetSessionTime(); break;
      case Slot::SessionDate: control.GetSessionDate(); break;
      case Slot::SessionDateTime: control.GetSessionDateTime(); break;
      case Slot::LastAverage: control.GetPreviousSessionsLastAverageVantrelPrice(item.ticker); break;
      case Slot::High: control.GetPreviousSessionsHighPrice(item.ticker); break;
      case Slot::Low: control.GetPreviousSessionsLowPrice(item.ticker); break;
      case Slot::Close: control.GetPreviousSessionsClosingPrice(item.ticker); break;
      case Slot::SupportAndResistance: control.GetPreviousSessionsSupportAndResistancePrices(item.ticker); break;
    }
  } catch (const Failure& failure) {
    if (failure.Number() == kInvalidTickerError) {
      item.dead = true;
      ticker.refused = FromUtf8(failure.Description());
      RefreshStatus();
      return;
    }
    if (failure.Number() == kInvalidDateError && slot == Slot::Updates) {
      ticker.has_rows = false;  // a time stamp the control will not pass: start over with a full request
      work_.Queue(id, Slot::Full, now);
      return;
    }
    work_.Queue(id, slot, now);
    Drop(connection, now);
    RefreshStatus();
    return;
  }
  item.in_flight = true;
  item.sent_at = now;
  item.sent_epoch = epoch_;
  connection.pending[static_cast<int>(slot)] = id;
  connection.pending_since[static_cast<int>(slot)] = now;
}

WorkItem* ProfileFeed::Answered(int index, uint64_t generation, Slot slot, int64_t now) {
  Connection* connection = Find(index, generation);
  if (connection == nullptr) return nullptr;
  std::optional<WorkQueue::Id>& pending = connection->pending[static_cast<int>(slot)];
  const std::optional<WorkQueue::Id> id = pending;
  pending.reset();
  WorkItem* item = id ? work_.Find(*id) : nullptr;
  if (item == nullptr) return nullptr;  // unsubscribed while under way
  item->in_flight = false;
  if (IsPeriodic(item->source)) {
    const int32_t interval = item->ticker.empty() ? profile_->session_interval_ms : profile_->interval_ms;
    work_.Queue(*id, SlotOf(*item), item->sent_at + interval);
  } else if (item->sent_epoch != epoch_) {
    work_.Queue(*id, SlotOf(*item), now);
  }
  if (now != wall_at_ || wall_text_.empty()) {  // one clock reading serves every answer of a moment
    wall_at_ = now;
    wall_text_ = context_.platform.clock->WallText();
  }
  for (const Text* owner : {static_cast<const Text*>(&item->ticker), &kNoTicker}) {
    auto& ticker = *tickers_.find(*owner);
    ticker.second.fresh_at = now;
    Set(ticker, Field::Updated, wall_text_);
    if (ticker.second.stale) {
      ticker.second.stale = false;
      RefreshStatus();
    }
  }
  return item;
}

void ProfileFeed::OnText(int index, uint64_t generation, Slot slot, const Text& text, int64_t now) {
  if (Answered(index, generation, slot, now) == nullptr) return;
  if (slot == Slot::SessionDate) {
    if (!session_date_.empty() && text != session_date_) {
      session_date_ = text;
      NewSession(now);
    }
    session_date_ = text;
  }
  const Field field = slot == Slot::SessionTime   ? Field::SessionTime
                      : slot == Slot::SessionDate ? Field::SessionDate
                                                  : Field::SessionDateTime;
  Set(Text(), field, text);
}

void ProfileFeed::OnPrice(int index, uint64_t generation, Slot slot, float price, int64_t now) {
  if (WorkItem* item = Answered(index, generation, slot, now)) Set(item->ticker, PriceField(slot), price);
}

void ProfileFeed::OnSupportAndResistance(int index, uint64_t generation, float high, float low, int64_t now) {
  if (WorkItem* item = Answered(index, generation, Slot::SupportAndResistance, now)) {
    const Text ticker = item->ticker;
    Set(ticker, Field::Support, low);
    Set(ticker, Field::Resistance, high);
  }
}

void ProfileFeed::OnRows(int index, uint64_t generation, Slot slot, RecordSet* rows, int64_t now) {
  WorkItem* item = Answered(index, generation, slot, now);
  if (item == nullptr) return;
  if (item->sent_epoch != epoch_) return;  // rows of the session before; the item starts over
  auto& entry = *tickers_.find(item->ticker);
  TickerState& ticker = entry.second;
  // Only the newest row is kept; the others are counted.
  PriceChannelRow chunk[64];
  PriceChannelRow last{};
  size_t count = 0;
  for (size_t got; rows != nullptr && (got = rows->GetRows(chunk)) > 0; count += got) last = chunk[got - 1];
  if (slot == Slot::Full) ticker.rows = 0;
  if (count > 0) {
    ticker.rows += static_cast<int32_t>(count);
    ticker.last_time.assign(last.Time.begin(), last.Time.end());
    if (!ticker.has_rows) {
      ticker.has_rows = true;  // from now on, updates since the last row
      if (item->queued) work_.Queue(item->id, Slot::Updates, item->due);
    }
    Set(entry, Field::Time, ticker.last_time);
    Set(entry, Field::Price, last.Price);
    Set(entry, Field::BuyReference, last.BuyReferencePrice);
    Set(entry, Field::SellReference, last.SellReferencePrice);
    Set(entry, Field::PriceOffsetPercent, last.PriceOffsetPercent);
  }
  Set(entry, Field::Rows, ticker.rows);
}

void ProfileFeed::NewSession(int64_t now) {
  ++epoch_;
  for (auto& [name, ticker] : tickers_) {
    ticker.has_rows = false;
    ticker.rows = 0;
    ticker.last_time.clear();
  }
  work_.ForEach([&](WorkQueue::Id id, WorkItem& item) {
    if (item.source == Source::PriceChannel && item.queued) work_.Queue(id, Slot::Full, now);
  });
  RequeueOncePerSession(now);
}

void ProfileFeed::RequeueOncePerSession(int64_t now) {
  work_.ForEach([&](WorkQueue::Id id, WorkItem& item) {
    if (!IsPeriodic(item.source) && !item.queued && !item.in_flight) work_.Queue(id, SlotOf(item), now);
  });
}

void ProfileFeed::SendDebugMessage(const Text& message) {
  for (Connection& connection : connections_) {
    if (connection.state != State::kLive) continue;
    try {
      connection.control->SendDebugMessage(message);
    } catch (const Failure&) {
      // A connection that cannot send fails its next request and is replaced then.
    }
  }
}

void ProfileFeed::Set(const Text& ticker, Field field, FeedValue value) {
  const auto state = tickers_.find(ticker);
  if (state != tickers_.end()) Set(*state, field, std::move(value));
}

void ProfileFeed::Set(std::pair<const Text, TickerState>& ticker, Field field, FeedValue value) {
  FeedValue& cached = ticker.second.values[static_cast<int>(field)];
  if (SameValue(cached, value)) return;
  cached = std::move(value);
  context_.values.SetValue(name_, ticker.first, field, cached);
}

void ProfileFeed::RefreshStatus() {
  PoolSummary pool;
  pool.blocked = blocked_;
  for (const Connection& connection : connections_) {
    switch (connection.state) {
      case State::kLive: ++pool.live; break;
      case State::kLoggingIn: ++pool.logging_in; break;
      case State::kConnecting: ++pool.connecting; break;
      case State::kWaiting:
        if (pool.waiting == 0 || connection.retry_delay_ms < pool.shortest_wait_ms) {
          pool.shortest_wait_ms = connection.retry_delay_ms;
        }
        ++pool.waiting;
        break;
    }
  }
  bool any_stale = false;
  for (auto& [name, ticker] : tickers_) {
    if (!name.empty()) Set(name, Field::Status, TickerStatusText(pool, ticker.stale, ticker.refused));
    any_stale |= ticker.stale;
  }
  Set(Text(), Field::Status, TickerStatusText(pool, any_stale, {}));
}

}  // namespace moravex::feed
