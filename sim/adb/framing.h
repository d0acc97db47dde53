// Byte framing of the adb client-to-server protocol, without any I/O: requests and string
// replies carry a 4-hex-digit length; sync packets carry a 4-letter id and a 32-bit
// little-endian number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zsim::adb {

// The value of a 4-hex-digit length ("000c", "FFFF"); nullopt unless exactly 4 hex digits.
std::optional<size_t> parseHexLength(std::string_view digits);

// "%04x" of a length up to 0xffff; longer payloads cannot be framed (callers cut them).
std::string hex4(size_t length);

// "OKAY" followed by the framed payload.
std::string okayWith(std::string_view payload);
// "FAIL" followed by the framed message (cut to 0xffff bytes).
std::string fail(std::string_view message);

void putLe32(std::string& out, uint32_t value);
uint32_t getLe32(const unsigned char* bytes);
// A sync packet header: the 4-letter id and a 32-bit value (a length, a mode, an mtime).
std::string syncHeader(std::string_view id, uint32_t value);

} // namespace zsim::adb
