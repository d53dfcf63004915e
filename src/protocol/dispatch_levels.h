// The messages in hand while their handlers run, one per nesting depth. A host
// that pumps messages inside an event gets the next message dispatched before
// its handler returns; the outer message's payload and text must stay put
// meanwhile. Each depth keeps its buffers across messages, so nesting
// allocates nothing once warm.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "platform/text.h"

namespace moravex {

class DispatchLevels {
 public:
  // One dispatch of the payload just collected in `collected`; nests.
  class Scope {
   public:
    Scope(DispatchLevels& levels, const std::vector<uint8_t>& collected, size_t length);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    DispatchLevels& levels_;
  };

  // Before the next payload is collected into `collection`: if the innermost
  // dispatch still reads it, that buffer moves to the dispatch's own level
  // (its bytes stay where they are) and `collection` takes the level's spare.
  void FreeForCollection(std::vector<uint8_t>& collection);

  // The innermost dispatch's payload; empty outside any dispatch.
  std::span<const uint8_t> Payload() const;
  // The innermost dispatch's text buffer, for the text argument of its event.
  Text& TextBuffer();

 private:
  struct Level {
    std::span<const uint8_t> payload;
    // This level's payload while nested messages are collected; otherwise a
    // spare buffer for them.
    std::vector<uint8_t> parked;
    Text text;
  };

  // A deque, so that growing it moves no level a handler still holds.
  std::deque<Level> levels_;
  size_t depth_ = 0;
  // The collection buffer is the innermost dispatch's payload.
  bool collection_lent_ = false;
};

}  // namespace moravex
