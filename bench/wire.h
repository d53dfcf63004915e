// The byte streams both sides of every comparison see: frames, the
// price-channel and debug payloads, and the answers of the echo server.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

#include "tests/support/wire_bytes.h"

namespace moravex::bench {

inline constexpr size_t kHeader = 6;
inline constexpr size_t kRecord = 24;
inline constexpr int kFullRows = 4166;  // 99984 bytes: the largest answer the limit allows

// Frames as the tests build them.
using moravex::Frame;

inline uint32_t PayloadLength(const uint8_t* header) {
  return uint32_t{header[2]} | uint32_t{header[3]} << 8 | uint32_t{header[4]} << 16 | uint32_t{header[5]} << 24;
}

// One row per second from 09:30:00, prices moving a little each row.
inline std::vector<uint8_t> PriceChannelPayload(int rows) {
  std::vector<uint8_t> payload;
  payload.reserve(static_cast<size_t>(rows) * kRecord);
  for (int i = 0; i < rows; ++i) {
    const int s = 9 * 3600 + 30 * 60 + i;
    const int h = s / 3600, m = s / 60 % 60, sec = s % 60;
    const char time[8] = {static_cast<char>('0' + h / 10),   static_cast<char>('0' + h % 10),  ':',
                          static_cast<char>('0' + m / 10),   static_cast<char>('0' + m % 10),  ':',
                          static_cast<char>('0' + sec / 10), static_cast<char>('0' + sec % 10)};
    payload.insert(payload.end(), time, time + 8);
    const float price = 100.0f + static_cast<float>(i % 500) * 0.01f;
    const float values[4] = {price + 0.5f, price - 0.5f, price, 0.25f};
    uint8_t bytes[16];
    std::memcpy(bytes, values, sizeof bytes);
    payload.insert(payload.end(), bytes, bytes + 16);
  }
  return payload;
}

// Debug text: printable ASCII with a Windows-1252 letter now and then.
inline std::vector<uint8_t> DebugPayload(size_t size) {
  std::vector<uint8_t> payload(size);
  for (size_t i = 0; i < size; ++i) payload[i] = (i % 61 == 60) ? uint8_t{0xE9} : static_cast<uint8_t>(0x20 + i % 95);
  return payload;
}

// The request that starts a stream: a full price-channel request for 4166 rows.
inline std::vector<uint8_t> FullDataRequest() {
  std::vector<uint8_t> payload = {' ', ' ', ' ', 'I', 'B', 'M'};
  const uint32_t pixels = kFullRows;
  for (int i = 0; i < 4; ++i) payload.push_back(static_cast<uint8_t>(pixels >> (8 * i)));
  return Frame(5, payload);
}

// What the echo server answers to a request of each type.
inline std::vector<uint8_t> EchoAnswer(uint8_t type, const std::vector<uint8_t>& request_payload) {
  switch (type) {
    case 0: return Frame(0, request_payload);
    case 1: return Frame(1, {0, 0, 0, 0, 'O', 'K'});
    case 2:
      return Frame(2, {'1', '2', '/', '0', '8', '/', '2', '0', '2', '6', ' ', '0', '9', ':', '4', '5', ':', '0', '0'});
    case 3: return Frame(3, {'1', '2', '/', '0', '8', '/', '2', '0', '2', '6'});
    case 4: return Frame(4, {'0', '9', ':', '4', '5', ':', '0', '0'});
    case 5:
    case 6: return Frame(type, PriceChannelPayload(10));
    case 11: return Frame(11, std::vector<uint8_t>(16, 0));
    default: return Frame(type, {0, 0, 0x80, 0x3F});
  }
}

}  // namespace moravex::bench
