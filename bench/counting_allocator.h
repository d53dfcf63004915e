// Every heap allocation of the benchmark process is counted (global operator
// new is replaced); while tracing, each one prints its backtrace to stderr.
#pragma once
#include <atomic>
#include <cstdint>

namespace moravex::bench {

extern std::atomic<uint64_t> g_allocations;
extern std::atomic<bool> g_trace;

}  // namespace moravex::bench
