// Copies media from a phone to a PC file (adb pull over USB, chunked reads over the command
// channel) and music and videos from one phone to another (chunked reads from the source
// written into a write session on the destination).
//
// Telling a file's last bytes from a status: a read reply of at most 4 bytes is normally the
// companion's status (end of file, refusal), not data. A reply of 1 to 4 bytes that ends
// exactly at the file size is the file's tail, so files of any size arrive whole; the file
// size is the one the host gives (a host size of 0 or less counts as 1).
#pragma once

#include <cstdint>

#include "media/media_kinds.h"

namespace zentro::media {

constexpr int kStatusReplyMaximum = 4;
constexpr int kStorageRootSize = 512;

// Sends the kind's read chunk command for `count` bytes at `offset` of item `id`, receiving into
// `buffer` (capacity `count`). The channel result; 4 bytes or less may be a status.
int readChunk(MediaKind kind, int32_t id, int64_t offset, int32_t count, char* buffer, int32_t deviceIndex);

// Whether a read reply of `received` bytes for the chunk at `offset` carries file bytes.
bool isChunkData(int received, int64_t offset, int64_t fileSize);

// The plain download: the channel route for a WiFi row, else asks the companion for the file's
// path (the storage root is asked once per process and cached) and pulls it with adb. 0 also
// when the phone reports an empty path (nothing pulled); -1 when the root or the path cannot be
// read, and for a PC file name or phone path that would not fit the adb command line or holds
// a double quote (it would regroup the arguments).
int32_t downloadFile(MediaKind kind, int32_t id, const char* pcFile, int64_t fileSize, int32_t deviceIndex);

// The chunked download over the channel. -1 for a null or empty PC file name or a file that
// cannot be created; once the file is open 0, however the loop ended (progress then reads
// 100). A download that ended short writes "<n> of <size> bytes arrived" to the log; the host
// learns it by comparing the file's size.
int32_t downloadOverChannel(MediaKind kind, int32_t id, const char* pcFile, int64_t fileSize,
                            int32_t deviceIndex);

// Phone-to-phone copy of a music track or video under `deviceFileName` on the destination.
// Updates the kind's transferred size; an abort ends it with the abandon notice. -1 for a
// kind that is not sent between phones, a null or empty name, or a name longer than the 510
// bytes the session commands carry; else 0.
int32_t transferBetweenPhones(MediaKind kind, int32_t id, const char* deviceFileName, int64_t fileSize,
                              int32_t sourceIndex, int32_t destinationIndex);

} // namespace zentro::media
