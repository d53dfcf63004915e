#include "feed/work_queue.h"

namespace moravex::feed {

WorkQueue::Id WorkQueue::Add(Text ticker, Source source) {
  const Id id = next_id_++;
  by_key_[{ticker, source}] = id;
  items_[id] = WorkItem{id, std::move(ticker), source};
  return id;
}

void WorkQueue::Remove(Id id) {
  WorkItem* item = Find(id);
  if (item == nullptr) return;
  Unqueue(id);
  by_key_.erase({item->ticker, item->source});
  items_.erase(id);
}

WorkItem* WorkQueue::Find(Id id) {
  const auto found = items_.find(id);
  return found == items_.end() ? nullptr : &found->second;
}

std::optional<WorkQueue::Id> WorkQueue::Find(const Text& ticker, Source source) const {
  const auto found = by_key_.find({ticker, source});
  if (found == by_key_.end()) return std::nullopt;
  return found->second;
}

void WorkQueue::Queue(Id id, Slot slot, int64_t due) {
  WorkItem* item = Find(id);
  if (item == nullptr || item->dead) return;
  Unqueue(id);
  item->queued = true;
  item->queued_slot = slot;
  item->due = due;
  queues_[static_cast<int>(slot)].emplace(due, id);
}

void WorkQueue::Unqueue(Id id) {
  WorkItem* item = Find(id);
  if (item == nullptr || !item->queued) return;
  queues_[static_cast<int>(item->queued_slot)].erase({item->due, id});
  item->queued = false;
}

std::optional<Slot> WorkQueue::EarliestDue(int64_t now, SlotSet excluded) const {
  std::optional<Slot> best;
  int64_t best_due = now;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (excluded[slot] || queues_[slot].empty()) continue;
    const int64_t due = queues_[slot].begin()->first;
    if (due <= best_due && (!best || due < best_due)) {
      best = static_cast<Slot>(slot);
      best_due = due;
    }
  }
  return best;
}

WorkQueue::Id WorkQueue::PopFront(Slot slot) {
  auto& queue = queues_[static_cast<int>(slot)];
  const Id id = queue.begin()->second;
  queue.erase(queue.begin());
  items_[id].queued = false;
  return id;
}

}  // namespace moravex::feed
