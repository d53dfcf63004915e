// The row table handed to the host with price-channel answers. The operations
// follow the order the control performs them in, so a COM record set and the
// native table fail at the same points.
#pragma once
#include <cstdint>
#include <memory>
#include <variant>

#include "platform/text.h"

namespace moravex {

enum class FieldType : int32_t { kText = 8 /* adBSTR */, kSingle = 4 /* adSingle */ };

inline constexpr int32_t kUseClient = 3;
inline constexpr int32_t kOpenDynamic = 2;
inline constexpr int32_t kLockOptimistic = 3;
inline constexpr int32_t kFieldAttributesUnspecified = -1;

using FieldValue = std::variant<Text, float>;

// Anything a host may leave in a by-reference object argument.
class HostObject {
 public:
  virtual ~HostObject() = default;
};

class RecordSet : public HostObject {
 public:
  virtual void SetCursorLocation(int32_t location) = 0;
  virtual void SetCursorType(int32_t type) = 0;
  virtual void SetLockType(int32_t type) = 0;
  virtual void AppendField(const Text& name, FieldType type, int32_t defined_size,
                           int32_t attributes) = 0;
  virtual void Open() = 0;
  virtual void AddNew() = 0;
  virtual void PutValue(int16_t ordinal, FieldValue value) = 0;
  virtual int32_t RecordCount() = 0;
  virtual void MoveFirst() = 0;
};

class RecordSetFactory {
 public:
  virtual ~RecordSetFactory() = default;
  // Throws Failure when no record set can be created.
  virtual std::shared_ptr<RecordSet> Create() = 0;
};

}  // namespace moravex
