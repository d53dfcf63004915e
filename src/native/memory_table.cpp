#include "native/memory_table.h"

#include <algorithm>

#include "platform/failure.h"

namespace moravex {
namespace {

constexpr const char* kTableSource = "MemoryTable";

[[noreturn]] void NotAllowed(int32_t number, const char* what) { throw Failure(number, kTableSource, what); }

// Hands table memory to allocate_shared from the pool it keeps alive.
template <class T>
struct PoolAllocator {
  using value_type = T;
  explicit PoolAllocator(std::shared_ptr<RowStorePool> p) : pool(std::move(p)) {}
  template <class U>
  PoolAllocator(const PoolAllocator<U>& other) : pool(other.pool) {}
  T* allocate(size_t n) { return static_cast<T*>(pool->TakeBlock(n * sizeof(T))); }
  void deallocate(T* p, size_t n) { pool->GiveBlock(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const PoolAllocator<U>& other) const {
    return pool == other.pool;
  }
  std::shared_ptr<RowStorePool> pool;
};

}  // namespace

RowStorePool::~RowStorePool() {
  for (void* block : free_blocks_) ::operator delete(block);
}

RowStorePool::Store RowStorePool::Take() {
  if (free_.empty()) return {};
  Store store = std::move(free_.back());
  free_.pop_back();
  return store;
}

void RowStorePool::Give(Store store) {
  if (free_.size() < kKept && store.capacity() > 0) free_.push_back(std::move(store));
}

void* RowStorePool::TakeBlock(size_t bytes) {
  if (bytes == block_bytes_ && !free_blocks_.empty()) {
    void* block = free_blocks_.back();
    free_blocks_.pop_back();
    return block;
  }
  return ::operator new(bytes);
}

void RowStorePool::GiveBlock(void* block, size_t bytes) {
  if (block_bytes_ == 0) block_bytes_ = bytes;
  if (bytes == block_bytes_ && free_blocks_.size() < kKept) {
    free_blocks_.push_back(block);
  } else {
    ::operator delete(block);
  }
}

std::shared_ptr<RecordSet> MemoryTableFactory::Create() {
  return std::allocate_shared<MemoryTable>(PoolAllocator<MemoryTable>(pool_), pool_);
}

MemoryTable::MemoryTable(std::shared_ptr<RowStorePool> pool) : pool_(std::move(pool)) {}

MemoryTable::~MemoryTable() {
  if (pool_) pool_->Give(std::move(rows_));
}

void MemoryTable::Load(const PriceChannelRows& rows) {
  if (open_) NotAllowed(kOperationNotAllowed, "Operation is not allowed when the object is open.");
  if (pool_) rows_ = pool_->Take();
  // Rows are trivially copyable: a reused store is overwritten, not cleared.
  rows_.resize(rows.Count());
  rows.DecodeInto(rows_);
  cursor_ = 0;
  open_ = true;
}

void MemoryTable::RequireOpen() const {
  if (!open_) NotAllowed(kOperationNotAllowed, "Operation is not allowed when the object is closed.");
}

void MemoryTable::RequireRow() const {
  RequireOpen();
  if (cursor_ >= rows_.size()) {
    NotAllowed(kNoCurrentRecord, "Either BOF or EOF is True, or the current record has been deleted.");
  }
}

int32_t MemoryTable::FieldCount() const { return static_cast<int32_t>(kPriceChannelFields.size()); }

FieldInfo MemoryTable::Field(int32_t ordinal) const {
  if (ordinal < 0 || ordinal >= FieldCount()) ThrowSubscriptOutOfRange();
  return kPriceChannelFields[static_cast<size_t>(ordinal)];
}

int32_t MemoryTable::RecordCount() const {
  RequireOpen();
  return static_cast<int32_t>(rows_.size());
}

bool MemoryTable::Eof() const {
  RequireOpen();
  return cursor_ >= rows_.size();
}

void MemoryTable::MoveFirst() {
  RequireOpen();
  cursor_ = 0;
}

void MemoryTable::MoveNext() {
  RequireRow();
  ++cursor_;
}

PriceChannelRow MemoryTable::Row() const {
  RequireRow();
  return rows_[cursor_];
}

size_t MemoryTable::GetRows(std::span<PriceChannelRow> into) {
  RequireOpen();
  const size_t n = std::min(into.size(), rows_.size() - std::min(cursor_, rows_.size()));
  std::copy_n(rows_.begin() + static_cast<std::ptrdiff_t>(cursor_), n, into.begin());
  cursor_ += n;
  return n;
}

}  // namespace moravex
