// The phone's photos, music and videos as every command sees them: one table of each kind's
// exports, the catalogue as items, and the transfer of one item. The media commands, backup,
// restore and copy all go through it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace zentro::cli {

struct MediaItem {
    int32_t id = 0;
    int64_t size = 0;
    std::string title;
    std::string path;              // on the phone
    std::string plainName;         // the phone's file name made plain (may repeat in a list)
    std::string name;              // plainName made unique in its list, deterministically
    std::string folder;            // the phone's folders below its storage root, made plain; "" when none
    bool flattened = false;        // the phone's path had folders that could not be kept
    nlohmann::ordered_json fields; // every detail of the kind, for --json
};

struct MediaKind {
    const char* family; // "photos": also the kind's folder in a backup
    const char* noun;   // "photo"
    int32_t (*refresh)(int32_t device);
    int32_t (*count)(int32_t device);
    bool (*info)(int32_t position, int32_t device, MediaItem& out);
    // The connection picks the route: adb pull over USB, chunks over WiFi.
    int32_t (*download)(int32_t id, const char* file, int64_t size, int32_t device);
    // Always in chunks: progress and abort work on every connection.
    int32_t (*chunkedDownload)(int32_t id, const char* file, int64_t size, int32_t device);
    int32_t (*abort)();
    // Phone to phone; null where the library has no such export.
    int32_t (*transfer)(int32_t id, const char* name, int64_t size, int32_t from, int32_t to);
    int64_t (*transferred)();
    int32_t (*remove)(int32_t id, int32_t device);
    // Upload: adb push over USB (no progress), chunks over WiFi (progress, abort).
    int32_t (*upload)(const char* file, const char* name, int32_t device);
    int32_t (*progress)();
    // A small picture of the item; null where the kind has none by item id.
    int32_t (*thumb)(char** picture, int32_t id, int32_t device);
};

// Photos, music, videos, in that order.
const std::vector<MediaKind>& mediaKinds();

struct MediaList {
    std::vector<MediaItem> items;
    bool complete = true; // false when Ctrl-C cut the listing short
};

// The phone's catalogue of the kind, refreshed first.
MediaList listMedia(const MediaKind& kind, int32_t device);

// Downloads one item to pcPath by the connection's route; true when a file of the item's
// size arrived (the exports answer 0 also for a short file).
bool downloadMedia(const MediaKind& kind, const MediaItem& item, const std::string& pcPath, int32_t device);

// Uploads one file under deviceFileName; true once the phone took it.
bool uploadMedia(const MediaKind& kind, const std::string& pcFile, const std::string& deviceFileName,
                 int32_t device);

// Media on their way from one phone to another through this computer stop in a folder of this
// run's own: made by mkdtemp (mode 0700, a name no other user can guess or plant ahead), each
// file created new without following links, all removed at the end.
class StagingFolder {
public:
    StagingFolder();
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    // A new empty file for the item; "" when it cannot be made.
    std::string newFile(int32_t id) const;

private:
    std::string path_;
};

// Size of a regular file (a link is not one), -1 otherwise.
int64_t fileSize(const std::string& path);

// Makes `path` hold `bytes`: written under a temporary name beside it, then renamed, so an
// interrupted run never leaves half a file under the name. Throws Failure when the disk refuses.
void writeFileAtomically(const std::string& path, const std::string& bytes);

// The temporary name of a final path in the same folder; leftovers of a killed run carry it.
std::string partialPathOf(const std::string& path);

// The last part of a path, after '/' or '\'.
std::string baseName(const std::string& path);

} // namespace zentro::cli
