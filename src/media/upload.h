// Adds a PC file to a phone as a photo, music track or video. Over USB the companion is asked
// whether the name is taken (numbering it when it is) and adb pushes the file into the kind's
// folder; over the channel the file goes in chunks of the whole shared transfer buffer into a
// write session.
#pragma once

#include <cstddef>
#include <cstdint>

#include "media/media_kinds.h"

namespace zentro::media {

// Where the number of a taken name goes: the offset of the "." that starts the extension (the
// text after the last "." that is not the first character), or the name's length when there is
// none, so "notes" is tried as "notes(1)" and ".profile" as ".profile(1)". The whole extension
// is kept however long it is, so the file keeps its type.
size_t numberPosition(const char* name);

// `name` with "(number)" put at its number position, into `out`; false when it does not fit.
bool numberedName(char* out, size_t size, const char* name, int number);

// The route the row's connection chooses: the channel for a WiFi row, else the USB route.
int32_t uploadFile(MediaKind kind, const char* pcFile, const char* deviceFileName, int32_t deviceIndex);

// The USB route. -1 when the clash test is not answered (fewer reply bytes than the kind's
// minimum), for a device index without a row, a null or empty device file name, a name holding
// a double quote, ";" or "/" (it would regroup the adb arguments, end the command early or leave
// the kind's folder), a PC file name holding a double quote, or names so long that the numbered
// name would not fit the clash test, the phone path or the completion notice; nothing is pushed
// then. Otherwise 0, whether or not adb managed the push.
int32_t uploadOverUsb(MediaKind kind, const char* pcFile, const char* deviceFileName, int32_t deviceIndex);

// The channel route: -1 for a null PC file name, a file that cannot be opened, a null or empty
// device file name, or one longer than the 510 bytes a session command carries (the notice
// would name another file), before anything is sent. Otherwise 0, also when a refused chunk or
// the abort flag ended the loop; the session is closed and the matching notice sent either way.
int32_t uploadOverChannel(MediaKind kind, const char* pcFile, const char* deviceFileName,
                          int32_t deviceIndex);

} // namespace zentro::media
