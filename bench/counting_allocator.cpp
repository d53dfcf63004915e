// In a translation unit of its own, so that no caller sees malloc and free
// behind new and delete.
#include "bench/counting_allocator.h"

#include <execinfo.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace moravex::bench {

std::atomic<bool> g_trace{false};

namespace {

thread_local uint64_t t_allocations = 0;
thread_local bool t_in_trace = false;

void NoteAllocation(size_t size) {
  ++t_allocations;
  if (g_trace.load(std::memory_order_relaxed) && !t_in_trace) {
    t_in_trace = true;
    void* frames[32];
    const int depth = backtrace(frames, 32);
    std::fprintf(stderr, "--- allocation of %zu bytes\n", size);
    backtrace_symbols_fd(frames, depth, 2);
    t_in_trace = false;
  }
}

}  // namespace

uint64_t Allocations() { return t_allocations; }

}  // namespace moravex::bench

void* operator new(size_t size) {
  moravex::bench::NoteAllocation(size);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t size, std::align_val_t align) {
  moravex::bench::NoteAllocation(size);
  void* p = nullptr;
  if (posix_memalign(&p, std::max(sizeof(void*), static_cast<size_t>(align)), size == 0 ? 1 : size) == 0) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { std::free(p); }
