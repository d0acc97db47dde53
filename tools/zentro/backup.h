// What backup, restore and copy share: the media kinds as the exports see them, the backup
// folder's file names, and writing files so that a name only ever holds a complete file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace CLI {
class App;
} // namespace CLI

namespace zentro::cli {

// Registered by addBackupCommands with it.
void addRestoreCommand(CLI::App& app);
void addCopyCommand(CLI::App& app);

enum class Media { Photos, Music, Videos };
constexpr Media kMediaKinds[] = {Media::Photos, Media::Music, Media::Videos};

const char* folderOf(Media kind); // "photos", "music", "videos": also the kind's word

struct MediaItem {
    int32_t id = 0;
    std::string name; // the phone's file name
    int64_t size = 0;
};

// The phone's catalogue of one kind (refreshed first). Unusable names (empty, "." or with a
// slash) are replaced by the id so nothing is written outside the kind's folder.
std::vector<MediaItem> listMedia(Media kind, int32_t device);

// Downloads one item to pcPath; true when a file of the item's size arrived.
bool downloadMedia(Media kind, const MediaItem& item, const std::string& pcPath, int32_t device);

// Makes `path` hold `bytes`: written under a temporary name beside it, then renamed. Throws
// Failure when the disk refuses.
void writeFileAtomically(const std::string& path, const std::string& bytes);

// The temporary name of a final path in the same folder; leftovers of a killed run carry it.
std::string partialPathOf(const std::string& path);

// Size and SHA-256 of a file; false when it cannot be read.
bool fileDigest(const std::string& path, int64_t& size, std::string& sha256);

int64_t fileSize(const std::string& path); // -1 when missing

} // namespace zentro::cli
