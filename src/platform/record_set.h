// The price-channel record set. The control creates one per answer, fills it
// once with the whole answer (write side) and hands it to the host, which
// walks it (read side). How a platform stores the rows, and in which order it
// makes its own calls to do so, is the platform's business.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/failure.h"
#include "platform/text.h"

namespace moravex {

// Column types, as ADO numbers them.
enum class FieldType : int32_t { Bstr = 8 /* adBSTR */, Single = 4 /* adSingle */ };

struct FieldInfo {
  const char16_t* name;
  FieldType type;
};

// The five columns, in ordinal order.
inline constexpr std::array<FieldInfo, 5> kPriceChannelFields = {{
    {u"Time", FieldType::Bstr},
    {u"BuyReferencePrice", FieldType::Single},
    {u"SellReferencePrice", FieldType::Single},
    {u"Price", FieldType::Single},
    {u"PriceOffsetPercent", FieldType::Single},
}};

inline constexpr size_t kTimeLength = 8;

// ADO's failure numbers a record set throws (adErrOperationNotAllowed,
// adErrNoCurrentRecord), in Automation form.
inline constexpr int32_t kOperationNotAllowed = AutomationError(3705);
inline constexpr int32_t kNoCurrentRecord = AutomationError(3021);

// One decoded row: the time text (8 characters, spaces and zeros kept) and
// the four prices bit for bit.
struct PriceChannelRow {
  std::array<char16_t, kTimeLength> Time;
  float BuyReferencePrice;
  float SellReferencePrice;
  float Price;
  float PriceOffsetPercent;
};

// The rows of one answer, decoded on demand straight into the caller's storage.
class PriceChannelRows {
 public:
  virtual size_t Count() const = 0;
  // `into` holds exactly Count() rows; they are written in payload order.
  virtual void DecodeInto(std::span<PriceChannelRow> into) const = 0;

 protected:
  ~PriceChannelRows() = default;
};

// Anything a host may leave in a by-reference object argument.
class HostObject {
 public:
  virtual ~HostObject() = default;
};

class RecordSet : public HostObject {
 public:
  // Write side, called once on a new set: afterwards the set is open with the
  // five columns, the rows in order and the cursor on the first row (an open,
  // empty set for no rows). Throws Failure; a set that failed is not used again.
  virtual void Load(const PriceChannelRows& rows) = 0;

  // Read side, as a host walks a record set. The text of a field is its
  // name; failures throw Failure.
  virtual int32_t FieldCount() const = 0;
  virtual FieldInfo Field(int32_t ordinal) const = 0;
  virtual int32_t RecordCount() const = 0;
  virtual bool Eof() const = 0;
  virtual void MoveFirst() = 0;
  virtual void MoveNext() = 0;
  // The row under the cursor; fails at the end.
  virtual PriceChannelRow Row() const = 0;
  // Copies up to into.size() rows from the cursor on and moves past them, as
  // GetRows does; returns how many were copied (0 at the end).
  virtual size_t GetRows(std::span<PriceChannelRow> into) = 0;
};

class RecordSetFactory {
 public:
  virtual ~RecordSetFactory() = default;
  // Throws Failure when no record set can be created.
  virtual std::shared_ptr<RecordSet> Create() = 0;
};

}  // namespace moravex
