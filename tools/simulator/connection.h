// One client connection: its reassembly state, its own fault switches and its queue of outgoing frames, which may
// be delayed, chunked, cut short or followed by a close.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <optional>

#include "tools/simulator/faults.h"
#include "tools/simulator/frame_reader.h"

namespace moravex::sim {

using SteadyClock = std::chrono::steady_clock;

class Connection {
 public:
  Connection(int fd, int id, const FaultConfig& faults, SteadyClock::time_point now);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  int fd() const { return fd_; }
  int id() const { return id_; }
  FrameReader& reader() { return reader_; }
  FaultConfig& faults() { return faults_; }

  // Queues a frame for writing once its delay has passed. Frames with a shorter delay may overtake earlier ones.
  void Schedule(DeliveryPlan plan, SteadyClock::time_point now);
  // Queues a frame ahead of nothing: written in order, no delay, no chunking (replies to "!sim" commands).
  void Send(Bytes frame);
  // Starts the unsolicited debug push anew from `now`, after the push setting changed.
  void RestartPush(SteadyClock::time_point now);

  // Moves frames whose delay has passed, and due debug pushes, into the write queue.
  void Promote(SteadyClock::time_point now);
  bool WantsWrite(SteadyClock::time_point now) const;
  // The earliest moment after `now` at which Promote or a paused write has work to do, if any. A write that is
  // merely waiting for room in the socket is left to POLLOUT.
  std::optional<SteadyClock::time_point> NextDeadline(SteadyClock::time_point now) const;
  // Writes what the socket takes. Returns false when the connection is to be closed (a planned close, or an error).
  bool Flush(SteadyClock::time_point now);

  // The client has finished sending: what is still owed is delivered, then the connection closes.
  void CloseInput() {
    input_closed_ = true;
    next_push_.reset();
  }
  bool input_closed() const { return input_closed_; }
  bool HasNothingToSend() const { return queue_.empty() && delayed_.empty(); }

 private:
  struct Outgoing {
    Bytes bytes;
    std::size_t sent = 0;
    std::size_t chunk_bytes = 0;
    AfterSend after = AfterSend::kNothing;
  };

  int fd_;
  int id_;
  FrameReader reader_;
  FaultConfig faults_;
  std::multimap<SteadyClock::time_point, Outgoing> delayed_;
  std::deque<Outgoing> queue_;
  SteadyClock::time_point next_write_;
  std::optional<SteadyClock::time_point> next_push_;
  bool input_closed_ = false;
  bool muted_ = false;  // the stream is out of step after a bogus header: nothing more is sent
};

}  // namespace moravex::sim
