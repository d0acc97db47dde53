// The device-side write session through which bytes are stored on a phone: open with a file
// name, any number of writes, close, then exactly one notice (completion or abandon) with the
// same name. Names travel as hex text; at most their first 510 bytes are sent.
#pragma once

#include <cstdint>

#include "media/media_kinds.h"

namespace zentro::media {

// Open, close and the notices return the reply integer (0 when nothing arrived).
int32_t openSession(MediaKind kind, const char* deviceFileName, int32_t deviceIndex);
int32_t closeSession(MediaKind kind, int32_t deviceIndex);
int32_t sendCompletionNotice(MediaKind kind, const char* deviceFileName, int32_t deviceIndex);
int32_t sendAbandonNotice(MediaKind kind, const char* deviceFileName, int32_t deviceIndex);

// Sends `count` bytes as one write; the channel result (reply bytes; 0 or less: not accepted).
int writeSession(MediaKind kind, const void* bytes, int32_t count, int32_t deviceIndex);

// Close, then the abandon notice when `abandoned`, else the completion notice.
void finishSession(MediaKind kind, const char* deviceFileName, bool abandoned, int32_t deviceIndex);

} // namespace zentro::media
