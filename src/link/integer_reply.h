// Commands answered by a 4-byte little-endian signed integer (counts and statuses).
#pragma once

#include <cstdint>

namespace zentro::link {

// Sends `command` to the device with a 4-byte reply area preset to `preset` and returns the
// integer it holds afterwards, whatever the exchange gave: a failed or empty exchange reads as
// the preset (a reply of fewer than 4 bytes changes only the bytes that arrived).
int32_t sendForInteger(const char* command, int32_t deviceIndex, int32_t preset = 0);

// The little-endian signed integer in the first four bytes of `bytes`.
int32_t readLittleEndian32(const char* bytes);

} // namespace zentro::link
