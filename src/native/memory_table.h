// The native row table: the five price-channel columns, rows in payload order
// and a cursor, with ADO's refusals where a host could trip over them.
#pragma once
#include <memory>
#include <vector>

#include "platform/record_set.h"

namespace moravex {

// Tables and their rows outlive single answers: a released table hands its
// memory back, so a stream of answers neither allocates nor faults pages in.
// Like the control, the pool lives on one thread.
class RowStorePool {
 public:
  using Store = std::vector<PriceChannelRow>;
  RowStorePool() = default;
  RowStorePool(const RowStorePool&) = delete;
  RowStorePool& operator=(const RowStorePool&) = delete;
  ~RowStorePool();

  Store Take();
  void Give(Store store);
  // Memory for one table with its shared_ptr bookkeeping (always one size).
  void* TakeBlock(size_t bytes);
  void GiveBlock(void* block, size_t bytes);

 private:
  static constexpr size_t kKept = 4;
  std::vector<Store> free_;
  std::vector<void*> free_blocks_;
  size_t block_bytes_ = 0;
};

class MemoryTable final : public RecordSet {
 public:
  explicit MemoryTable(std::shared_ptr<RowStorePool> pool = nullptr);
  ~MemoryTable() override;

  void Load(const PriceChannelRows& rows) override;

  int32_t FieldCount() const override;
  FieldInfo Field(int32_t ordinal) const override;
  int32_t RecordCount() const override;
  bool Eof() const override;
  void MoveFirst() override;
  void MoveNext() override;
  PriceChannelRow Row() const override;
  size_t GetRows(std::span<PriceChannelRow> into) override;

 private:
  void RequireOpen() const;
  void RequireRow() const;

  std::shared_ptr<RowStorePool> pool_;
  RowStorePool::Store rows_;
  size_t cursor_ = 0;
  bool open_ = false;
};

class MemoryTableFactory final : public RecordSetFactory {
 public:
  std::shared_ptr<RecordSet> Create() override;

 private:
  std::shared_ptr<RowStorePool> pool_ = std::make_shared<RowStorePool>();
};

}  // namespace moravex
