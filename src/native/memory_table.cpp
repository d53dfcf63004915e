#include "native/memory_table.h"

#include "platform/failure.h"

namespace moravex {
namespace {

constexpr int32_t kOperationNotAllowed = static_cast<int32_t>(0x800A0E79);
constexpr const char* kTableSource = "MemoryTable";

[[noreturn]] void NotAllowed(const char* what) {
  throw Failure(kOperationNotAllowed, kTableSource, what);
}

}  // namespace

void MemoryTable::AppendField(const Text& name, FieldType type, int32_t, int32_t) {
  if (open_) NotAllowed("Operation is not allowed when the object is open.");
  columns_.push_back({name, type});
}

void MemoryTable::Open() {
  if (open_) NotAllowed("Operation is not allowed when the object is open.");
  if (columns_.empty()) NotAllowed("Operation is not allowed when the object has no fields.");
  open_ = true;
}

void MemoryTable::RequireOpen() const {
  if (!open_) NotAllowed("Operation is not allowed when the object is closed.");
}

void MemoryTable::AddNew() {
  RequireOpen();
  std::vector<FieldValue> row;
  row.reserve(columns_.size());
  for (const Column& column : columns_) {
    row.push_back(column.type == FieldType::kText ? FieldValue(Text()) : FieldValue(0.0f));
  }
  rows_.push_back(std::move(row));
  cursor_ = rows_.size() - 1;
}

void MemoryTable::PutValue(int16_t ordinal, FieldValue value) {
  RequireOpen();
  if (Eof()) NotAllowed("Either BOF or EOF is True, or the current record has been deleted.");
  if (ordinal < 0 || static_cast<size_t>(ordinal) >= columns_.size()) ThrowSubscriptOutOfRange();
  const bool wants_text = columns_[static_cast<size_t>(ordinal)].type == FieldType::kText;
  if (wants_text != std::holds_alternative<Text>(value)) ThrowTypeMismatch();
  rows_[cursor_][static_cast<size_t>(ordinal)] = std::move(value);
}

int32_t MemoryTable::RecordCount() {
  RequireOpen();
  return static_cast<int32_t>(rows_.size());
}

void MemoryTable::MoveFirst() {
  RequireOpen();
  cursor_ = 0;
}

void MemoryTable::MoveNext() {
  if (Eof()) NotAllowed("Either BOF or EOF is True, or the current record has been deleted.");
  ++cursor_;
}

const FieldValue& MemoryTable::Value(size_t ordinal) const {
  if (Eof() || ordinal >= columns_.size()) ThrowSubscriptOutOfRange();
  return rows_[cursor_][ordinal];
}

}  // namespace moravex
