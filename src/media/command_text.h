// Builds the media commands: a kind's command word with its arguments, into fixed buffers.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>

namespace zentro::media {

// printf into `out`; false (and an empty text) when the result would not fit, so a cut command
// never goes out.
bool formatInto(char* out, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));

// The word followed by the name as hex text, e.g. "open_photofile:<hex>;", in a 1,024-byte
// buffer: at most the first 510 bytes of the name travel.
bool formatNameCommand(char (&out)[1024], const char* word, const char* name);

} // namespace zentro::media
