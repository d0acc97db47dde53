// Relays the host's transfer session markers (start, update, end) to the companions of the
// phones at device indexes 0 and 1; the library keeps no session state.
#pragma once

#include <cstdint>

namespace zentro::media {

// Sends `command` to device index 0 when a device row is in use, and to index 1 as well when
// two or more are; replies and failures are ignored.
void relayMarker(const char* command);

// The update marker with `text` in plain text. Nothing is sent for a null text or one that would
// make the command longer than 1,023 characters (a cut text would report something else).
void relayUpdateMarker(const char* text, int32_t number);

} // namespace zentro::media
