// The photo, music and video catalogue: every call is one command and one reply on the device's
// command channel; item details go straight into the host's packed record of the kind.
#pragma once

#include <cstdint>

#include "media/media_kinds.h"

namespace zentro::media {

// The kind's integer-reply commands; each returns the reply integer (0 when nothing came).
int32_t refreshList(MediaKind kind, int32_t deviceIndex);
int32_t itemCount(MediaKind kind, int32_t deviceIndex);
int32_t deleteItem(MediaKind kind, int32_t key, int32_t deviceIndex);
int32_t deleteAll(MediaKind kind, int32_t deviceIndex);

// Fills the kind's record at `info` from the details of list position `position`. Only the id
// is cleared first; fields the reply lacks keep what the host left; text values longer than
// their field are cut to it. 0, or -1 (failed send, empty reply, null `info`).
int32_t itemDetails(MediaKind kind, void* info, int32_t position, int32_t deviceIndex);

// Fetches a thumbnail into the shared reply buffer and points *out at it. `secondKey` is used
// by kinds whose thumbnail takes two keys. The number of picture bytes, or -1 (null `out`, no
// buffer, a kind without thumbnails, or a reply of 4 bytes or less, which is a status).
int32_t thumbnail(MediaKind kind, char** out, int32_t key, int32_t secondKey, int32_t deviceIndex);

} // namespace zentro::media
