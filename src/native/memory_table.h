// The native row table: the five price-channel columns, rows in payload order
// and a cursor, with ADO's refusals where a host could trip over them.
#pragma once
#include <memory>
#include <mutex>
#include <vector>

#include "platform/record_set.h"

namespace moravex {

// Row storage outlives single tables: a released table hands its rows back,
// so a stream of answers neither allocates nor faults pages in per answer.
class RowStorePool {
 public:
  using Store = std::vector<PriceChannelRow>;
  Store Take();
  void Give(Store store);

 private:
  static constexpr size_t kKept = 4;
  std::mutex mutex_;  // a host may release a table on another thread
  std::vector<Store> free_;
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
  std::shared_ptr<RecordSet> Create() override { return std::make_shared<MemoryTable>(pool_); }

 private:
  std::shared_ptr<RowStorePool> pool_ = std::make_shared<RowStorePool>();
};

}  // namespace moravex
