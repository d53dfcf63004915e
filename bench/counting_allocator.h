// Every heap allocation of the benchmark process is counted (global operator
// new is replaced); while tracing, each one prints its backtrace to stderr.
#pragma once
#include <atomic>
#include <cstdint>

namespace moravex::bench {

// Allocations made so far by the calling thread. Per thread and not atomic,
// so counting costs the measured code no locked instruction.
uint64_t Allocations();
extern std::atomic<bool> g_trace;

}  // namespace moravex::bench
