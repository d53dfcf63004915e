// Framing helpers for the chart-service wire format, written from the server's side:
// a 6-byte header (type, second byte, 32-bit little-endian payload length) and a payload.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace moravex::sim {

inline constexpr std::size_t kHeaderSize = 6;
// Largest payload either side accepts; a client announcing more is dropped.
inline constexpr std::int32_t kMaxPayloadLength = 100000;

// Message types; every answer carries the type of its request.
inline constexpr std::uint8_t kDebugText = 0;
inline constexpr std::uint8_t kLogin = 1;
inline constexpr std::uint8_t kSessionDateTime = 2;
inline constexpr std::uint8_t kSessionDate = 3;
inline constexpr std::uint8_t kSessionTime = 4;
inline constexpr std::uint8_t kFullPriceChannel = 5;
inline constexpr std::uint8_t kPriceChannelUpdates = 6;
inline constexpr std::uint8_t kPreviousLastAverage = 7;
inline constexpr std::uint8_t kPreviousHigh = 8;
inline constexpr std::uint8_t kPreviousLow = 9;
inline constexpr std::uint8_t kPreviousClosing = 10;
inline constexpr std::uint8_t kPreviousSupportAndResistance = 11;

using Bytes = std::vector<std::uint8_t>;

inline void StoreUint32(std::uint8_t* destination, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) destination[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void AppendUint32(Bytes& out, std::uint32_t value) {
  const std::size_t offset = out.size();
  out.resize(offset + 4);
  StoreUint32(out.data() + offset, value);
}

inline void AppendInt32(Bytes& out, std::int32_t value) { AppendUint32(out, static_cast<std::uint32_t>(value)); }

inline void AppendSingle(Bytes& out, float value) { AppendUint32(out, std::bit_cast<std::uint32_t>(value)); }

inline void AppendText(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

inline std::int32_t ReadInt32(const std::uint8_t* bytes) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    value = (value << 8) | bytes[i];
  }
  return static_cast<std::int32_t>(value);
}

inline float ReadSingle(const std::uint8_t* bytes) {
  return std::bit_cast<float>(static_cast<std::uint32_t>(ReadInt32(bytes)));
}

// The server always sends 0 as the second header byte.
inline Bytes EncodeHeader(std::uint8_t type, std::int32_t announced_length) {
  Bytes header(kHeaderSize, 0);
  header[0] = type;
  StoreUint32(header.data() + 2, static_cast<std::uint32_t>(announced_length));
  return header;
}

inline Bytes EncodeFrame(std::uint8_t type, const Bytes& payload) {
  Bytes frame(kHeaderSize + payload.size(), 0);
  frame[0] = type;
  StoreUint32(frame.data() + 2, static_cast<std::uint32_t>(payload.size()));
  std::copy(payload.begin(), payload.end(), frame.begin() + kHeaderSize);
  return frame;
}

}  // namespace moravex::sim
