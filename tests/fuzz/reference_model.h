// A deliberately plain model of what the host must see: it walks the inbound
// bytes one at a time with its own frame parser, code-page table and pending
// flags, and predicts every event, flag and counter of the control.
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "tests/fuzz/fuzz_script.h"
#include "tests/fuzz/observed_event.h"

namespace moravex::fuzz {

// The method that sends a request of message type 1 to 11.
const char* RequestName(int type);

class ReferenceModel {
 public:
  ReferenceModel(uint16_t reissue_mask, int argument_swap);

  // The connection the harness opens before the script runs.
  void StartConnected();
  // Runs one step and returns what the host sees during it.
  std::vector<ObservedEvent> Apply(const Op& op);

  // Expected state after the last step.
  bool connected = false;
  bool logged_in = false;
  std::array<bool, 12> pending{};  // by message type; 0 (debug) is never set
  std::array<bool, 3> timer_on{};  // connect/login, data request, session info
  int32_t receive_state = 0;       // 0 header, 1 payload
  int32_t header_count = 0;
  int32_t payload_length = 0;
  int32_t payload_count = 0;
  // Bytes the control has taken from the socket, over the whole run.
  uint64_t consumed = 0;
  // `consumed` at each close of the socket during the last step.
  std::vector<uint64_t> closes;

 private:
  void Reset();
  int32_t TryRequest(int type);
  // Takes waiting bytes until none is left or the connection it started on
  // has ended; a nested arrival runs it again from inside an event.
  void Drain(std::vector<ObservedEvent>& out);
  void Feed(uint8_t byte, std::vector<ObservedEvent>& out);
  void Dispatch(std::vector<ObservedEvent>& out);
  // An event reaches the host, which may ask again (answers of `type`), pump
  // a nested arrival (whose messages are dispatched there and then) and
  // disconnect from inside it, in that order.
  void Emit(ObservedEvent event, int type, std::vector<ObservedEvent>& out);
  ObservedEvent Disconnect();

  uint16_t reissue_mask_;
  int argument_swap_;
  uint8_t header_[6] = {};
  std::vector<uint8_t> payload_;
  uint64_t generation_ = 0;      // connections ended so far
  int depth_ = 0;                // host handlers running
  bool armed_ = false;           // the next event makes the host disconnect
  std::deque<Op> nested_;        // armed nested arrivals, the next event takes the first
  std::deque<uint8_t> waiting_;  // arrived, not yet taken
};

}  // namespace moravex::fuzz
