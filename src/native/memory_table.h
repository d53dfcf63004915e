// The native row table: column names, types and order, rows in order of
// addition, and a cursor.
#pragma once
#include <memory>
#include <vector>

#include "platform/record_set.h"

namespace moravex {

class MemoryTable final : public RecordSet {
 public:
  struct Column {
    Text name;
    FieldType type;
  };

  void SetCursorLocation(int32_t location) override { cursor_location_ = location; }
  void SetCursorType(int32_t type) override { cursor_type_ = type; }
  void SetLockType(int32_t type) override { lock_type_ = type; }
  void AppendField(const Text& name, FieldType type, int32_t defined_size, int32_t attributes) override;
  void Open() override;
  void AddNew() override;
  void PutValue(int16_t ordinal, FieldValue value) override;
  int32_t RecordCount() override;
  void MoveFirst() override;

  // Reading side, as a host walks a record set.
  bool IsOpen() const { return open_; }
  const std::vector<Column>& Columns() const { return columns_; }
  bool Eof() const { return cursor_ >= rows_.size(); }
  void MoveNext();
  const FieldValue& Value(size_t ordinal) const;
  size_t CursorPosition() const { return cursor_; }
  int32_t CursorLocation() const { return cursor_location_; }
  int32_t CursorType() const { return cursor_type_; }
  int32_t LockType() const { return lock_type_; }

 private:
  void RequireOpen() const;

  std::vector<Column> columns_;
  std::vector<std::vector<FieldValue>> rows_;
  size_t cursor_ = 0;
  bool open_ = false;
  int32_t cursor_location_ = 2;
  int32_t cursor_type_ = -1;
  int32_t lock_type_ = -1;
};

class MemoryTableFactory final : public RecordSetFactory {
 public:
  std::shared_ptr<RecordSet> Create() override { return std::make_shared<MemoryTable>(); }
};

}  // namespace moravex
