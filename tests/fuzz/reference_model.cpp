#include "tests/fuzz/reference_model.h"

#include "tests/support/request_names.h"

namespace moravex::fuzz {
namespace {

constexpr int32_t kNotConnected = static_cast<int32_t>(0x80040000);
constexpr int32_t kInternalError = static_cast<int32_t>(0x80040004);
constexpr int32_t kNotLoggedIn = static_cast<int32_t>(0x80040005);
constexpr int32_t kAlreadyConnected = static_cast<int32_t>(0x80040006);
constexpr int32_t kAlreadyLoggedIn = static_cast<int32_t>(0x80040007);
constexpr int32_t kRequestAlreadyPending = static_cast<int32_t>(0x80040008);

const char* const kSessionEvents[5] = {"", "", "GotSessionDateTime", "GotSessionDate", "GotSessionTime"};
const char* const kPriceEvents[11] = {"",
                                      "",
                                      "",
                                      "",
                                      "",
                                      "",
                                      "",
                                      "GotPreviousSessionsLastAverageVantrelPrice",
                                      "GotPreviousSessionsHighPrice",
                                      "GotPreviousSessionsLowPrice",
                                      "GotPreviousSessionsClosingPrice"};

// Windows-1252, 0x80 to 0x9F; the five unassigned bytes stand for the C1
// control of the same number. Every other byte is its own character.
const char16_t kCp1252High[32] = {
    u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
    u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178',
};

char16_t Character(uint8_t byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kCp1252High[byte - 0x80];
  return byte;
}

Text Decode(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
  Text text;
  for (size_t i = 0; i < count; i++) text.push_back(Character(bytes[from + i]));
  return text;
}

uint32_t Bits(const std::vector<uint8_t>& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; i--) value = value * 256 + bytes[at + static_cast<size_t>(i)];
  return value;
}

int TimerOf(int type) {
  if (type == 1) return 0;
  if (type == 5 || type == 6) return 1;
  return 2;
}

// (message type, timeout type) in the order a tick looks at them.
struct Watched {
  int type;
  int32_t timeout;
};
const std::vector<Watched> kWatched[3] = {
    {{1, 1}},
    {{6, 3}, {5, 2}},
    {{4, 6}, {3, 5}, {2, 4}, {7, 7}, {8, 8}, {9, 9}, {10, 10}, {11, 11}},
};

ObservedEvent Named(const char* name) {
  ObservedEvent event;
  event.name = name;
  return event;
}

ObservedEvent Call(const char* method, int32_t number) {
  ObservedEvent event;
  event.name = std::string("Call:") + method;
  event.number = number;
  return event;
}

ObservedEvent SubscriptError() {
  ObservedEvent event = Named("Error");
  event.number = kInternalError;
  event.text = u"Subscript out of range";
  return event;
}

}  // namespace

ReferenceModel::ReferenceModel(uint16_t reissue_mask, int argument_swap)
    : reissue_mask_(reissue_mask), argument_swap_(argument_swap) {}

void ReferenceModel::StartConnected() {
  Reset();
  connected = true;
  timer_on[0] = true;
}

void ReferenceModel::Reset() {
  ++generation_;
  closes.push_back(consumed);
  waiting_.clear();  // closing drops unread bytes
  connected = false;
  logged_in = false;
  for (int i = 0; i < 12; i++) pending[static_cast<size_t>(i)] = false;
  for (int i = 0; i < 3; i++) timer_on[static_cast<size_t>(i)] = false;
  receive_state = 0;
  header_count = 0;
  payload_length = 0;
  payload_count = 0;
}

int32_t ReferenceModel::TryRequest(int type) {
  if (!connected) return kNotConnected;
  if (type == 1) {
    if (logged_in) return kAlreadyLoggedIn;
  } else if (!logged_in) {
    return kNotLoggedIn;
  }
  if (pending[static_cast<size_t>(type)]) return kRequestAlreadyPending;
  pending[static_cast<size_t>(type)] = true;
  timer_on[static_cast<size_t>(TimerOf(type))] = true;
  return 0;
}

std::vector<ObservedEvent> ReferenceModel::Apply(const Op& op) {
  std::vector<ObservedEvent> out;
  closes.clear();
  switch (op.kind) {
    case OpKind::Arrive:
      if (!connected) break;  // a closed socket receives nothing
      for (uint8_t byte : op.bytes) waiting_.push_back(byte);
      Drain(out);
      break;
    case OpKind::ArmNestedArrival: nested_.push_back(op); break;
    case OpKind::Tick: {
      const auto timer = static_cast<size_t>(op.arg);
      if (!timer_on[timer]) break;  // a stopped timer does not tick
      bool any = false;
      for (const Watched& w : kWatched[timer]) {
        if (pending[static_cast<size_t>(w.type)]) {
          pending[static_cast<size_t>(w.type)] = false;
          ObservedEvent event = Named("Timeout");
          event.number = w.timeout;
          Emit(event, 0, out);
        }
      }
      for (const Watched& w : kWatched[timer]) {
        if (pending[static_cast<size_t>(w.type)]) any = true;
      }
      if (!any) timer_on[timer] = false;
      break;
    }
    case OpKind::Request: out.push_back(Call(RequestName(op.arg), TryRequest(op.arg))); break;
    case OpKind::Login: out.push_back(Call("Login", TryRequest(1))); break;
    case OpKind::Disconnect: out.push_back(Disconnect()); break;
    case OpKind::ArmDisconnect: armed_ = true; break;
    case OpKind::Reconnect:
      if (connected) {
        out.push_back(Call("Connect", kAlreadyConnected));
      } else {
        StartConnected();
        out.push_back(Call("Connect", 0));
        Emit(Named("Connected"), 0, out);
      }
      break;
  }
  return out;
}

void ReferenceModel::Drain(std::vector<ObservedEvent>& out) {
  const uint64_t generation = generation_;
  while (generation_ == generation && !waiting_.empty()) {
    const uint8_t byte = waiting_.front();
    waiting_.pop_front();
    Feed(byte, out);
  }
}

void ReferenceModel::Feed(uint8_t byte, std::vector<ObservedEvent>& out) {
  consumed++;
  if (receive_state == 0) {
    header_[header_count] = byte;
    header_count++;
    if (header_count < 6) return;
    const auto length = static_cast<int32_t>(uint32_t{header_[2]} | uint32_t{header_[3]} << 8 |
                                             uint32_t{header_[4]} << 16 | uint32_t{header_[5]} << 24);
    if (length > 100000 || length < 0) {
      Reset();
      ObservedEvent event = Named("Disconnected");
      event.text = length > 100000 ? u"Bogus payload length" : u"Winsock1_DataArrival exception";
      Emit(event, 0, out);
      return;
    }
    payload_length = length;
    payload_count = 0;
    payload_.clear();
    receive_state = 1;
    if (length == 0) Dispatch(out);
    return;
  }
  payload_.push_back(byte);
  payload_count++;
  if (payload_count == payload_length) Dispatch(out);
}

void ReferenceModel::Dispatch(std::vector<ObservedEvent>& out) {
  receive_state = 0;
  header_count = 0;
  const int type = header_[0];
  const size_t length = payload_.size();
  if (type == 0) {
    ObservedEvent event = Named("GotDebugMessage");
    event.text = Decode(payload_, 0, length);
    Emit(event, 0, out);
    return;
  }
  if (type > 11 || !pending[static_cast<size_t>(type)]) return;

  if (type == 1) {
    pending[1] = false;
    if (length < 5) {
      Emit(SubscriptError(), 0, out);
      return;
    }
    const auto code = static_cast<int32_t>(Bits(payload_, 0));
    const Text text = Decode(payload_, 4, length - 4);
    if (code == 0 && text == u"OK") {
      logged_in = true;
      Emit(Named("LoggedIn"), 0, out);
    } else {
      ObservedEvent event = Named("LoginFailed");
      event.number = code;
      event.text = text;
      Emit(event, 0, out);
    }
    return;
  }
  if (type <= 4) {
    pending[static_cast<size_t>(type)] = false;
    ObservedEvent event = Named(kSessionEvents[type]);
    event.text = Decode(payload_, 0, length);
    Emit(event, type, out);
    return;
  }
  if (type <= 6) {
    // A one-byte tail is ignored; a longer partial record fails and the
    // request stays pending.
    if (length % 24 >= 2) {
      Emit(SubscriptError(), 0, out);
      return;
    }
    pending[static_cast<size_t>(type)] = false;
    ObservedEvent event = Named(type == 5 ? "GotFullVantrelData" : "GotVantrelDataUpdates");
    for (size_t at = 0; at + 24 <= length; at += 24) {
      ObservedRow row;
      for (size_t k = 0; k < 8; k++) row.time[k] = Character(payload_[at + k]);
      for (size_t k = 0; k < 4; k++) row.price_bits[k] = Bits(payload_, at + 8 + 4 * k);
      event.rows.push_back(row);
    }
    Emit(event, type, out);
    // Anything but a record set left in the argument is refused afterwards.
    if (argument_swap_ == 2) {
      ObservedEvent error = Named("Error");
      error.number = kInternalError;
      error.text = u"Type mismatch";
      Emit(error, 0, out);
    }
    return;
  }
  pending[static_cast<size_t>(type)] = false;
  const size_t values = type == 11 ? 4 : 1;
  if (length > 0 && length < 4 * values) {
    Emit(SubscriptError(), 0, out);
    return;
  }
  ObservedEvent event = Named(type == 11 ? "GotPreviousSessionsSupportAndResistancePrices" : kPriceEvents[type]);
  for (size_t k = 0; k < values; k++) event.price_bits.push_back(length == 0 ? 0 : Bits(payload_, 4 * k));
  Emit(event, type, out);
}

void ReferenceModel::Emit(ObservedEvent event, int type, std::vector<ObservedEvent>& out) {
  event.depth = depth_;
  out.push_back(std::move(event));
  ++depth_;
  const bool disconnect = armed_;
  armed_ = false;
  if (type > 0 && (reissue_mask_ >> type & 1) != 0) {
    out.push_back(Call(RequestName(type), TryRequest(type)));
    out.back().depth = depth_;
  }
  if (!nested_.empty()) {
    const Op nested = std::move(nested_.front());
    nested_.pop_front();
    // A closed socket receives nothing. What still waited from the outer
    // notification comes first, then the new bytes, all before the handler
    // goes on; the close comes after every byte before it.
    if (connected) {
      for (uint8_t byte : nested.bytes) waiting_.push_back(byte);
      Drain(out);
      if (nested.arg == 1 && connected) {
        Reset();
        ObservedEvent closed = Named("Disconnected");
        closed.text = u"Winsock1_Close";
        Emit(closed, 0, out);
      }
    }
  }
  if (disconnect) {
    out.push_back(Disconnect());
    out.back().depth = depth_;
  }
  --depth_;
}

ObservedEvent ReferenceModel::Disconnect() {
  if (!connected) return Call("Disconnect", kNotConnected);
  Reset();  // closing drops whatever was still waiting
  return Call("Disconnect", 0);
}

const char* RequestName(int type) { return kRequestMethods[static_cast<size_t>(type)]; }

}  // namespace moravex::fuzz
