// The requests a profile must keep making, one item per (ticker, source),
// each waiting in the queue of the request kind it goes out as, ordered by
// when it is due. A connection may have one request of each kind pending, so
// the scheduler takes the earliest due item of a kind that some connection
// can send: served items go to the back, which keeps the round fair.
#pragma once
#include <bitset>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>

#include "feed/topic.h"
#include "platform/text.h"

namespace moravex::feed {

// A request kind; a connection has one slot of each.
enum class Slot : uint8_t {
  Full,
  Updates,
  SessionTime,
  SessionDate,
  SessionDateTime,
  LastAverage,
  High,
  Low,
  Close,
  SupportAndResistance,
};
inline constexpr int kSlotCount = 10;
using SlotSet = std::bitset<kSlotCount>;

struct WorkItem {
  uint64_t id = 0;
  Text ticker;
  Source source;
  bool queued = false;
  Slot queued_slot = Slot::Full;
  int64_t due = 0;
  bool in_flight = false;
  int64_t sent_at = 0;
  // The epoch (session, recovery) the request under way belongs to.
  uint64_t sent_epoch = 0;
  // Refused by the control (an invalid ticker): never sent again.
  bool dead = false;
};

class WorkQueue {
 public:
  using Id = uint64_t;

  Id Add(Text ticker, Source source);
  void Remove(Id id);
  WorkItem* Find(Id id);
  std::optional<Id> Find(const Text& ticker, Source source) const;
  // (Re)queues the item in the queue of `slot`.
  void Queue(Id id, Slot slot, int64_t due);
  void Unqueue(Id id);
  // The kind, outside `excluded`, whose first item is due earliest, if any is due at `now`.
  std::optional<Slot> EarliestDue(int64_t now, SlotSet excluded) const;
  Id PopFront(Slot slot);

  template <class Visit>
  void ForEach(Visit&& visit) {
    for (auto& [id, item] : items_) visit(id, item);
  }

 private:
  Id next_id_ = 1;
  std::unordered_map<Id, WorkItem> items_;
  std::map<std::pair<Text, Source>, Id> by_key_;
  // (due, id): equal due times go in the order the items were made.
  std::set<std::pair<int64_t, Id>> queues_[kSlotCount];
};

}  // namespace moravex::feed
