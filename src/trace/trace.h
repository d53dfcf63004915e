// The support trace: one line per record, shared by every control of a
// process. A control holds a null pointer when tracing is off, so each trace
// point costs one branch; nothing here may throw into a method.
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <span>
#include <string>

// mingw-w64's C++ library formats as GNU does (%zu), which plain `printf` would refuse.
#ifdef _WIN32
#define MORAVEX_TRACE_PRINTF gnu_printf
#else
#define MORAVEX_TRACE_PRINTF printf
#endif

namespace moravex {

class Trace {
 public:
  static constexpr uint64_t kRollBytes = uint64_t{8} << 20;
  // Level 1: connection history, requests, answers, events, errors and
  // time-outs. Level 2 adds each frame's first bytes in hex.
  static constexpr int kFrameBytesLevel = 2;
  static constexpr size_t kHexBytes = 64;

  // Null when the file cannot be opened. `process_id` comes from the platform.
  static std::shared_ptr<Trace> Open(const std::string& path, int level, uint64_t process_id,
                                     uint64_t roll_bytes = kRollBytes);
  // The switch as a platform reads it: a file name (empty: off) and an
  // optional level text. Opened once per process and shared.
  static std::shared_ptr<Trace> ForProcess(const std::string& path, const std::string& level, uint64_t process_id);
  ~Trace();
  Trace(const Trace&) = delete;
  Trace& operator=(const Trace&) = delete;

  int Level() const { return level_; }
  bool WantsFrames() const { return level_ >= kFrameBytesLevel; }
  // False once a write failed: the trace has turned itself off.
  bool Writing() const { return writing_.load(std::memory_order_relaxed); }
  // printf-style text after the line's time and ids.
  void Record(uint32_t instance, const char* format, ...) __attribute__((format(MORAVEX_TRACE_PRINTF, 3, 4)));
  void Frame(uint32_t instance, const char* direction, std::span<const uint8_t> bytes);

  static int64_t NowMicros();
  static uint32_t NextInstance();

 private:
  Trace(std::string path, int level, uint64_t process_id, uint64_t roll_bytes, std::FILE* file);
  void WriteLine(uint32_t instance, const char* text);
  void TurnOff();

  const std::string path_;
  const int level_;
  const uint64_t process_id_;
  const uint64_t roll_bytes_;
  mutable std::mutex mutex_;
  std::FILE* file_;
  uint64_t size_ = 0;
  // Read before any formatting, so a trace that turned itself off costs a load.
  std::atomic<bool> writing_{true};
};

}  // namespace moravex
