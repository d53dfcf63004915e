// Builders and a printer for the bytes of frames on the wire. Header-only, so
// the benchmarks frame with the very same code on every platform.
#pragma once
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace moravex {

using Bytes = std::vector<uint8_t>;

inline Bytes LongBytes(int32_t value) {
  const auto u = static_cast<uint32_t>(value);
  return {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
          static_cast<uint8_t>(u >> 24)};
}

inline Bytes SingleBytes(float value) {
  int32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return LongBytes(bits);
}

// Single-byte text as the server sends it, one byte per char.
inline Bytes AnsiBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// A header alone, announcing any length.
inline Bytes Header(uint8_t message_type, int32_t payload_length, uint8_t second_byte = 0) {
  return Concat({{message_type, second_byte}, LongBytes(payload_length)});
}

// A whole message: 6-byte header announcing payload.size(), then the payload.
inline Bytes Frame(uint8_t message_type, const Bytes& payload, uint8_t second_byte = 0) {
  return Concat({Header(message_type, static_cast<int32_t>(payload.size()), second_byte), payload});
}

// "05 00 0A" style, upper case, single spaces.
inline std::string Hex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (uint8_t b : bytes) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0xF]);
  }
  return out;
}

}  // namespace moravex
