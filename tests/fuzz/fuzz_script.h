// What one fuzz input asks for: the session to start from, then a schedule of
// data arrivals, timer ticks and method calls. The control and the reference
// model both run the same script, step by step.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace moravex::fuzz {

enum class OpKind {
  Arrive,         // one data-arrival notification carrying `bytes` (possibly none)
  Tick,           // timer `arg`: 0 connect/login, 1 data request, 2 session info
  Request,        // the data request whose message type is `arg` (2..11)
  Login,          // Login with valid credentials
  Disconnect,     // the host's Disconnect
  ArmDisconnect,  // the host calls Disconnect from inside the next event it receives
  // `bytes` arrive from inside an event, as when a host pumps messages in its
  // handler: a nested notification; with `arg` 1 the peer's close follows
  // them. Armed arrivals queue up, and each event takes the next one, so
  // several armed in a row nest inside each other.
  ArmNestedArrival,
  Reconnect,  // Connect, then the socket reports the connection
};

struct Op {
  OpKind kind;
  int arg = 0;
  std::vector<uint8_t> bytes;
};

struct Script {
  // Answers of these message types (bit = type) make the host ask again from
  // inside the answer's event, as a polling host does.
  uint16_t reissue_mask = 0;
  // The host keeps every record set it is handed and reads it again at the end.
  bool keep_record_sets = false;
  // What the host leaves in the by-reference record-set argument: 0 the set
  // itself, 1 nothing, 2 an object that is not a record set, 3 another record set.
  int argument_swap = 0;
  std::vector<Op> ops;
};

// Input layout:
//   byte 0: bits 0-1 login (0 none, 1 pending, 2 or 3 logged in), bits 2-3 argument swap,
//           bit 7 keep record sets
//   bytes 1-2: little-endian mask of requests issued after login (bit = message type 2..11)
//   bytes 3-4: little-endian reissue mask (bit = message type)
//   then ops, each led by a control byte c:
//     0x00-0x9F  arrival of the next c bytes
//     0xA0-0xBF  arrival of the next ((c & 0x1F) << 8 | next byte) bytes
//     0xC0-0xCF  tick of timer (c & 0xF) % 3
//     0xD0-0xDF  request of message type 2 + (c & 0xF) % 10
//     0xE0-0xE3  Login
//     0xE4-0xE5  nested arrival of the next (next byte) bytes
//     0xE6-0xE7  the same, then the peer closes
//     0xE8-0xEB  Disconnect
//     0xEC-0xEF  Disconnect from inside the next event
//     0xF0-0xF7  Reconnect
//     0xF8-0xFB  arrival of 2 * (next two bytes, little-endian) copies of the byte after them,
//                so that frames up to and past the 100000-byte limit fit a small input
//     0xFC-0xFF  arrival of every remaining byte
// A truncated arrival carries what is left. The setup (login, requests) comes
// first as ordinary ops, so the model checks it like everything else.
Script ParseScript(const uint8_t* data, size_t size);

// The frame of a login answer with code 0 and "OK".
std::vector<uint8_t> AcceptedLoginFrame();

std::string Describe(const Op& op);

}  // namespace moravex::fuzz
