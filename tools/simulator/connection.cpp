#include "tools/simulator/connection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace moravex::sim {
namespace {

// Pause between two chunks, long enough for the peer to see them in separate reads.
constexpr auto kChunkPause = std::chrono::milliseconds(1);

}  // namespace

Connection::Connection(int fd, int id, const FaultConfig& faults, SteadyClock::time_point now)
    : fd_(fd), id_(id), faults_(faults), next_write_(now) {
  RestartPush(now);
}

Connection::~Connection() { ::close(fd_); }

void Connection::Schedule(DeliveryPlan plan, SteadyClock::time_point now) {
  if (muted_) return;
  Outgoing item{std::move(plan.bytes), 0, plan.chunk_bytes, plan.after};
  if (plan.delay_ms <= 0) {
    // Still behind earlier frames whose delay has passed, so that order is kept among undelayed answers.
    Promote(now);
    queue_.push_back(std::move(item));
  } else {
    delayed_.emplace(now + std::chrono::milliseconds(plan.delay_ms), std::move(item));
  }
}

void Connection::Send(Bytes frame) {
  if (!muted_) queue_.push_back(Outgoing{std::move(frame), 0, 0, AfterSend::kNothing});
}

void Connection::RestartPush(SteadyClock::time_point now) {
  next_push_.reset();
  if (faults_.push_debug && !input_closed_)
    next_push_ = now + std::chrono::milliseconds(faults_.push_debug->interval_ms);
}

void Connection::Promote(SteadyClock::time_point now) {
  while (!delayed_.empty() && delayed_.begin()->first <= now) {
    queue_.push_back(std::move(delayed_.begin()->second));
    delayed_.erase(delayed_.begin());
  }
  if (next_push_ && *next_push_ <= now && faults_.push_debug) {
    Bytes text;
    AppendText(text, faults_.push_debug->text);
    Send(EncodeFrame(kDebugText, text));
    next_push_ = now + std::chrono::milliseconds(faults_.push_debug->interval_ms);
  }
}

bool Connection::WantsWrite(SteadyClock::time_point now) const { return !queue_.empty() && next_write_ <= now; }

std::optional<SteadyClock::time_point> Connection::NextDeadline(SteadyClock::time_point now) const {
  std::optional<SteadyClock::time_point> deadline = next_push_;
  const auto consider = [&deadline](SteadyClock::time_point t) {
    if (!deadline || t < *deadline) deadline = t;
  };
  if (!delayed_.empty()) consider(delayed_.begin()->first);
  if (!queue_.empty() && next_write_ > now) consider(next_write_);
  return deadline;
}

bool Connection::Flush(SteadyClock::time_point now) {
  while (!queue_.empty() && next_write_ <= now) {
    Outgoing& head = queue_.front();
    std::size_t count = head.bytes.size() - head.sent;
    if (head.chunk_bytes > 0) count = std::min(count, head.chunk_bytes);
    if (count > 0) {
      const ssize_t written = ::send(fd_, head.bytes.data() + head.sent, count, MSG_NOSIGNAL);
      if (written < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return true;
        return false;
      }
      head.sent += static_cast<std::size_t>(written);
      if (head.chunk_bytes > 0) next_write_ = now + kChunkPause;
    }
    if (head.sent < head.bytes.size()) {
      if (head.chunk_bytes > 0) return true;
      continue;
    }
    const AfterSend after = head.after;
    queue_.pop_front();
    if (after == AfterSend::kClose) return false;
    if (after == AfterSend::kMute) {
      muted_ = true;
      queue_.clear();
      delayed_.clear();
      next_push_.reset();
    }
  }
  return true;
}

}  // namespace moravex::sim
