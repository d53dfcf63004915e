#include "protocol/dispatch_levels.h"

#include <utility>

namespace moravex {

DispatchLevels::Scope::Scope(DispatchLevels& levels, const std::vector<uint8_t>& collected, size_t length)
    : levels_(levels) {
  if (levels_.levels_.size() == levels_.depth_) levels_.levels_.emplace_back();
  levels_.levels_[levels_.depth_].payload = std::span(collected).first(length);
  ++levels_.depth_;
  levels_.collection_lent_ = true;
}

// The enclosing dispatch's payload, if any, was parked when this one's header
// completed, so the collection buffer is free again either way.
DispatchLevels::Scope::~Scope() {
  --levels_.depth_;
  levels_.collection_lent_ = false;
}

void DispatchLevels::FreeForCollection(std::vector<uint8_t>& collection) {
  if (!collection_lent_) return;
  // Swapping vectors moves no bytes: the parked payload keeps its address.
  std::swap(collection, levels_[depth_ - 1].parked);
  collection_lent_ = false;
}

std::span<const uint8_t> DispatchLevels::Payload() const {
  return depth_ == 0 ? std::span<const uint8_t>() : levels_[depth_ - 1].payload;
}

Text& DispatchLevels::TextBuffer() {
  if (depth_ > 0) return levels_[depth_ - 1].text;
  if (levels_.empty()) levels_.emplace_back();
  return levels_.front().text;
}

}  // namespace moravex
