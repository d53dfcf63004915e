// Builders and a printer for the bytes of frames on the wire.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace moravex {

using Bytes = std::vector<uint8_t>;

Bytes LongBytes(int32_t value);
Bytes SingleBytes(float value);
// Single-byte text as the server sends it, one byte per char.
Bytes AnsiBytes(std::string_view text);
Bytes Concat(std::initializer_list<Bytes> parts);
// A whole message: 6-byte header announcing payload.size(), then the payload.
Bytes Frame(uint8_t message_type, const Bytes& payload, uint8_t second_byte = 0);
// A header alone, announcing any length.
Bytes Header(uint8_t message_type, int32_t payload_length, uint8_t second_byte = 0);
// "05 00 0A" style, upper case, single spaces.
std::string Hex(std::span<const uint8_t> bytes);

}  // namespace moravex
