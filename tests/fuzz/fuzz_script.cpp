#include "tests/fuzz/fuzz_script.h"

#include <algorithm>

namespace moravex::fuzz {
namespace {

constexpr size_t kMaxOps = 2000;

Op MakeOp(OpKind kind, int arg = 0, std::vector<uint8_t> bytes = {}) { return Op{kind, arg, std::move(bytes)}; }

}  // namespace

std::vector<uint8_t> AcceptedLoginFrame() { return {1, 0, 6, 0, 0, 0, 0, 0, 0, 0, 'O', 'K'}; }

Script ParseScript(const uint8_t* data, size_t size) {
  Script script;
  size_t at = 0;
  auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  const uint8_t mode = next();
  const uint16_t requests = static_cast<uint16_t>(next() | next() << 8);
  script.reissue_mask = static_cast<uint16_t>(next() | next() << 8);
  script.keep_record_sets = (mode & 0x80) != 0;
  script.argument_swap = mode >> 2 & 3;

  const int login = mode & 3;
  if (login >= 1) script.ops.push_back(MakeOp(OpKind::Login));
  if (login >= 2) script.ops.push_back(MakeOp(OpKind::Arrive, 0, AcceptedLoginFrame()));
  for (int type = 2; type <= 11; ++type) {
    if (requests & (1u << type)) script.ops.push_back(MakeOp(OpKind::Request, type));
  }

  auto take = [&](size_t n) {
    n = std::min(n, size - at);
    std::vector<uint8_t> bytes(data + at, data + at + n);
    at += n;
    return bytes;
  };
  while (at < size && script.ops.size() < kMaxOps) {
    const uint8_t c = data[at++];
    if (c < 0xA0) {
      script.ops.push_back(MakeOp(OpKind::Arrive, 0, take(c)));
    } else if (c < 0xC0) {
      const size_t n = static_cast<size_t>(c & 0x1F) << 8 | next();
      script.ops.push_back(MakeOp(OpKind::Arrive, 0, take(n)));
    } else if (c < 0xD0) {
      script.ops.push_back(MakeOp(OpKind::Tick, (c & 0xF) % 3));
    } else if (c < 0xE0) {
      script.ops.push_back(MakeOp(OpKind::Request, 2 + (c & 0xF) % 10));
    } else if (c < 0xE4) {
      script.ops.push_back(MakeOp(OpKind::Login));
    } else if (c < 0xE8) {
      const size_t n = next();
      script.ops.push_back(MakeOp(OpKind::ArmNestedArrival, c >= 0xE6 ? 1 : 0, take(n)));
    } else if (c < 0xEC) {
      script.ops.push_back(MakeOp(OpKind::Disconnect));
    } else if (c < 0xF0) {
      script.ops.push_back(MakeOp(OpKind::ArmDisconnect));
    } else if (c < 0xF8) {
      script.ops.push_back(MakeOp(OpKind::Reconnect));
    } else if (c < 0xFC) {
      const size_t count = static_cast<size_t>(next() | next() << 8) * 2;
      script.ops.push_back(MakeOp(OpKind::Arrive, 0, std::vector<uint8_t>(count, next())));
    } else {
      script.ops.push_back(MakeOp(OpKind::Arrive, 0, take(size - at)));
    }
  }
  return script;
}

std::string Describe(const Op& op) {
  switch (op.kind) {
    case OpKind::Arrive: return "Arrive(" + std::to_string(op.bytes.size()) + " bytes)";
    case OpKind::Tick: return "Tick(timer " + std::to_string(op.arg) + ")";
    case OpKind::Request: return "Request(type " + std::to_string(op.arg) + ")";
    case OpKind::Login: return "Login";
    case OpKind::Disconnect: return "Disconnect";
    case OpKind::ArmDisconnect: return "ArmDisconnect";
    case OpKind::ArmNestedArrival:
      return "ArmNestedArrival(" + std::to_string(op.bytes.size()) + " bytes" + (op.arg == 1 ? ", then close)" : ")");
    case OpKind::Reconnect: return "Reconnect";
  }
  return "?";
}

}  // namespace moravex::fuzz
