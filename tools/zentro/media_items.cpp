#include "media_items.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include "cli.h"
#include "formats/safe_text.h"
#include "interrupt.h"
#include "zentrolink.h"

namespace zentro::cli {
namespace {

using json = nlohmann::ordered_json;

json common(int32_t id, const char* title, const char* path, int64_t size, int64_t modified,
            int64_t created) {
    return {{"id", id},     {"title", title},       {"path", path},
            {"size", size}, {"modified", modified}, {"created", created}};
}

MediaItem itemOf(const json& fields) {
    MediaItem item;
    item.id = fields["id"].get<int32_t>();
    item.size = fields["size"].get<int64_t>();
    item.title = fields["title"].get<std::string>();
    item.path = fields["path"].get<std::string>();
    item.fields = fields;
    return item;
}

bool photoInfo(int32_t position, int32_t device, MediaItem& out) {
    PhotoInfo info{}; // the export clears only the id
    if (Zentro_GetPhotoInfo(&info, position, device) != 0) return false;
    out = itemOf(common(info.id, info.title, info.path, info.size, info.modifiedTime, info.createdTime));
    return true;
}

bool musicInfo(int32_t position, int32_t device, MediaItem& out) {
    MusicInfo info{};
    if (Zentro_GetMusicInfo(&info, position, device) != 0) return false;
    json fields = common(info.id, info.title, info.path, info.size, info.modifiedTime, info.createdTime);
    fields["album"] = info.album;
    fields["artist"] = info.artist;
    fields["albumId"] = static_cast<int32_t>(info.albumId);
    fields["duration"] = static_cast<int64_t>(info.duration); // a copy: the field is packed
    out = itemOf(fields);
    return true;
}

bool videoInfo(int32_t position, int32_t device, MediaItem& out) {
    VideoInfo info{};
    if (Zentro_GetVideoInfo(&info, position, device) != 0) return false;
    json fields = common(info.id, info.title, info.path, info.size, info.modifiedTime, info.createdTime);
    fields["displayName"] = info.displayName;
    fields["duration"] = static_cast<int64_t>(info.duration); // a copy: the field is packed
    out = itemOf(fields);
    return true;
}

// Videos are known by their display name; the others by the file name of their path. Made
// safe here, once, for every file the CLI writes under it (and never a hidden name, so never
// a backup's ".partial-" leftover either).
std::string fileNameOf(const MediaItem& item) {
    auto it = item.fields.find("displayName");
    std::string name = it != item.fields.end() && !it->get<std::string>().empty() ? it->get<std::string>()
                                                                                  : baseName(item.path);
    return safeFileName(name, std::to_string(item.id));
}

// The folders of a phone path below its shared storage, each made plain; nullopt when a part
// cannot be kept as it is (a hostile or foreign path): the item is then flattened.
std::optional<std::string> plainFolderOf(const std::string& path) {
    std::string rest = path;
    for (const char* root : {"/storage/emulated/0/", "/sdcard/"}) {
        if (rest.rfind(root, 0) == 0) {
            rest = rest.substr(std::strlen(root));
            break;
        }
    }
    if (rest.empty() || rest[0] == '/') return std::nullopt;
    const size_t slash = rest.rfind('/');
    if (slash == std::string::npos) return std::string();
    std::string folder;
    std::stringstream parts(rest.substr(0, slash));
    for (std::string part; std::getline(parts, part, '/');) {
        if (part.empty() || safeFileName(part, "") != part) return std::nullopt;
        folder += (folder.empty() ? "" : "/") + part;
    }
    return folder;
}

} // namespace

const std::vector<MediaKind>& mediaKinds() {
    static const std::vector<MediaKind> kinds = {
        {"photos", "photo", Zentro_FlushDevicesPhotos, Zentro_GetPhotoCount, photoInfo,
         Zentro_ExportPhotofromDevice, Zentro_ExportPhotofromDevice2, Zentro_PhotoAbort, nullptr, nullptr,
         Zentro_DeletePhoto, Zentro_addPhoto, Zentro_GetPhotoProgress, Zentro_GetPhotoThumb},
        {"music", "track", Zentro_FlushDevicesMusic, Zentro_GetMusicCount, musicInfo,
         Zentro_ExportMusicfromDevice, Zentro_ExportMusicfromDevice2, Zentro_MusicAbort,
         Zentro_TransferMusicfromDevice, Zentro_GetMusicProgressSize, Zentro_DeleteMusic,
         Zentro_AddMusicToDevice, Zentro_GetMusicProgress, nullptr},
        {"videos", "video", Zentro_FlushDevicesVideo, Zentro_GetVideoCount, videoInfo,
         Zentro_ExportVideofromDevice, Zentro_ExportVideofromDevice2, Zentro_VideoAbort,
         Zentro_TransferVideofromDevice, Zentro_GetVideoProgressSize, Zentro_DeleteVideofromDevice,
         Zentro_AddVideoToDevice, Zentro_GetVideoProgress, nullptr},
    };
    return kinds;
}

int64_t fileSize(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : -1;
}

std::string partialPathOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    return folder + ".partial-" + path.substr(folder.size());
}

void writeFileAtomically(const std::string& path, const std::string& bytes) {
    const std::string partial = partialPathOf(path);
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            std::remove(partial.c_str());
            throw Failure("cannot write " + path +
                          ": check the folder exists and is writable and the disk has room");
        }
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        throw Failure("cannot write " + path);
    }
}

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

MediaList listMedia(const MediaKind& kind, int32_t device) {
    MediaList list;
    kind.refresh(device);
    const int32_t count = kind.count(device);
    for (int32_t position = 0; position < count; ++position) {
        if (interrupted()) {
            list.complete = false;
            break;
        }
        MediaItem item;
        if (kind.info(position, device, item)) list.items.push_back(std::move(item));
    }
    // Two items of one name (different folders on the phone) must not overwrite each other; the
    // lowest id keeps the name, whatever order the phone listed them in.
    std::set<std::string> taken;
    std::vector<MediaItem*> byId;
    for (MediaItem& item : list.items) {
        item.plainName = fileNameOf(item);
        const auto folder = plainFolderOf(item.path);
        item.folder = folder.value_or("");
        item.flattened = !folder;
        taken.insert(item.plainName);
        byId.push_back(&item);
    }
    std::stable_sort(byId.begin(), byId.end(),
                     [](const MediaItem* a, const MediaItem* b) { return a->id < b->id; });
    std::set<std::string> given;
    for (MediaItem* item : byId) {
        item->name = given.insert(item->plainName).second ? item->plainName
                                                          : uniqueName(item->plainName, item->id, taken);
        given.insert(item->name);
    }
    return list;
}

bool downloadMedia(const MediaKind& kind, const MediaItem& item, const std::string& pcPath, int32_t device) {
    std::remove(pcPath.c_str());
    kind.download(item.id, pcPath.c_str(), item.size, device);
    return fileSize(pcPath) == item.size;
}

bool uploadMedia(const MediaKind& kind, const std::string& pcFile, const std::string& deviceFileName,
                 int32_t device) {
    return kind.upload(pcFile.c_str(), deviceFileName.c_str(), device) == 0;
}

StagingFolder::StagingFolder() {
    std::error_code error;
    std::string pattern = std::filesystem::temp_directory_path(error).string() + "/zentro-copy-XXXXXX";
    if (error || ::mkdtemp(pattern.data()) == nullptr)
        throw Failure("cannot create a private folder for the media in " +
                      pattern.substr(0, pattern.rfind('/')));
    path_ = pattern;
}

StagingFolder::~StagingFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

std::string StagingFolder::newFile(int32_t id) const {
    const std::string file = path_ + "/" + std::to_string(id);
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return "";
    ::close(fd);
    return file;
}

} // namespace zentro::cli
