#include "trace/trace.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <new>

namespace moravex {

std::shared_ptr<Trace> Trace::Open(const std::string& path, int level, uint64_t process_id, uint64_t roll_bytes) {
  // Appending keeps an earlier run's lines; the size counts them toward the roll.
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) return nullptr;
  std::shared_ptr<Trace> trace(new (std::nothrow) Trace(path, level, process_id, roll_bytes, file));
  if (!trace) std::fclose(file);
  return trace;
}

std::shared_ptr<Trace> Trace::ForProcess(const std::string& path, const std::string& level, uint64_t process_id) {
  static std::mutex mutex;
  static std::weak_ptr<Trace> shared;
  if (path.empty()) return nullptr;
  const std::lock_guard<std::mutex> lock(mutex);
  if (auto trace = shared.lock()) return trace;
  const int parsed = level.empty() ? 1 : std::atoi(level.c_str());
  auto trace = Open(path, parsed < 1 ? 1 : parsed, process_id);
  shared = trace;
  return trace;
}

Trace::Trace(std::string path, int level, uint64_t process_id, uint64_t roll_bytes, std::FILE* file)
    : path_(std::move(path)), level_(level), process_id_(process_id), roll_bytes_(roll_bytes), file_(file) {
  std::fseek(file_, 0, SEEK_END);
  const long end = std::ftell(file_);
  size_ = end > 0 ? static_cast<uint64_t>(end) : 0;
}

Trace::~Trace() {
  if (file_ != nullptr) std::fclose(file_);
}

int64_t Trace::NowMicros() {
  using namespace std::chrono;
  return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

uint32_t Trace::NextInstance() {
  static std::atomic<uint32_t> next{0};
  return ++next;
}

void Trace::Record(uint32_t instance, const char* format, ...) {
  if (!Writing()) return;
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  WriteLine(instance, text);
}

void Trace::Frame(uint32_t instance, const char* direction, std::span<const uint8_t> bytes) {
  if (!Writing()) return;
  static constexpr char kDigits[] = "0123456789abcdef";
  char hex[kHexBytes * 3 + 1];
  const size_t shown = bytes.size() < kHexBytes ? bytes.size() : kHexBytes;
  for (size_t i = 0; i < shown; ++i) {
    hex[3 * i] = kDigits[bytes[i] >> 4];
    hex[3 * i + 1] = kDigits[bytes[i] & 15];
    hex[3 * i + 2] = ' ';
  }
  hex[shown == 0 ? 0 : 3 * shown - 1] = '\0';
  Record(instance, "frame %s %zu bytes: %s", direction, bytes.size(), hex);
}

void Trace::WriteLine(uint32_t instance, const char* text) {
  using namespace std::chrono;
  const int64_t now = NowMicros();
  const sys_days day = floor<days>(sys_time<microseconds>(microseconds(now)));
  const year_month_day date(day);
  const int64_t in_day = now - duration_cast<microseconds>(day.time_since_epoch()).count();
  char line[640];
  const int length = std::snprintf(
      line, sizeof line, "%04d-%02u-%02uT%02lld:%02lld:%02lld.%06lldZ pid %llu ctl %u %s\n", int(date.year()),
      unsigned(date.month()), unsigned(date.day()), static_cast<long long>(in_day / 3600000000),
      static_cast<long long>(in_day / 60000000 % 60), static_cast<long long>(in_day / 1000000 % 60),
      static_cast<long long>(in_day % 1000000), static_cast<unsigned long long>(process_id_), instance, text);
  if (length <= 0) return;
  const size_t size = static_cast<size_t>(length) < sizeof line ? static_cast<size_t>(length) : sizeof line - 1;
  const std::lock_guard<std::mutex> lock(mutex_);
  if (file_ == nullptr) return;
  if (size_ > 0 && size_ + size > roll_bytes_) {
    // One older file at most: the trace stays bounded at twice the limit.
    std::fclose(file_);
    const std::string older = path_ + ".1";
    std::remove(older.c_str());
    std::rename(path_.c_str(), older.c_str());
    file_ = std::fopen(path_.c_str(), "wb");
    size_ = 0;
    if (file_ == nullptr) {
      writing_ = false;
      return;
    }
  }
  // A failed write (full disk, a vanished mount) ends the trace, not the method.
  if (std::fwrite(line, 1, size, file_) != size || std::fflush(file_) != 0) {
    TurnOff();
    return;
  }
  size_ += size;
}

void Trace::TurnOff() {
  std::fclose(file_);
  file_ = nullptr;
  writing_ = false;
}

}  // namespace moravex
