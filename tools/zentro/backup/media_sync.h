// The one routine that brings media across: from a phone into a backup folder (backup), from a
// folder onto a phone (restore), from phone to phone (copy). Whatever the sides, an item the
// target holds already is left alone, and everything else goes over once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "backup/record_kinds.h"
#include "media_items.h"

namespace zentro::cli {

class BackupFolder;

struct SyncItem {
    std::string name; // the plain file name the item is known by (on a phone: what it is uploaded as)
    std::string file; // in a backup folder: the path inside it ("photos/DCIM/Camera/a.png")
    int32_t id = 0;   // on a source phone
    int64_t size = 0;
    std::string sha256; // known for a backup's files; "" until read or kept from the manifest
    std::string stamp;  // what the source phone says of the item (id, size, time): unchanged or not
};

// A phone (phone >= 0) or a backup folder.
struct MediaSide {
    int32_t phone = -1;
    BackupFolder* folder = nullptr;
};

struct SyncReport {
    Tally tally;
    int64_t bytesMoved = 0;
    size_t readBack = 0; // files of a backup folder hashed again to tell whether they are unchanged
    std::vector<std::string> failed; // names of what could not be brought
};

// Brings over each item of `items` the target lacks. A phone holds an item when one of its own
// of that name (or the phone's numbered form of it, "a(1).jpg") has its size and, read back, its
// bytes; a folder holds it when the last backup recorded the same phone item at that file and the
// file is untouched since (its disk stamp) or, read back, still has the recorded bytes. Items gain
// their sha256 where it is known. With `dryRun` nothing is written anywhere: `added` counts what
// would be.
SyncReport syncMedia(const MediaKind& kind, std::vector<SyncItem>& items, MediaSide from, MediaSide to,
                     bool dryRun = false);

} // namespace zentro::cli
