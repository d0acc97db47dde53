// Media back onto a phone: every backed-up file whose name and size the phone's catalogue lacks.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include "interrupt.h"
#include "progress.h"
#include "backup/restore.h"

namespace zentro::cli {

Tally restoreMedia(const MediaKind& kind, const std::string& folder, int32_t device) {
    Tally tally;
    std::vector<std::pair<std::string, int64_t>> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.rfind(".partial-", 0) != 0)
            files.emplace_back(name, static_cast<int64_t>(entry.file_size()));
    }
    if (files.empty()) return tally;
    std::sort(files.begin(), files.end());
    std::set<std::pair<std::string, int64_t>> present;
    const MediaList listed = listMedia(kind, device);
    if (!listed.complete) {
        tally.interrupted = true;
        return tally;
    }
    for (const MediaItem& item : listed.items) present.insert({item.name, item.size});
    int64_t total = 0, done = 0;
    for (const auto& file : files) total += file.second;
    Progress progress(std::string("restoring ") + kind.family, "bytes");
    for (const auto& [name, size] : files) {
        if (interrupted()) {
            tally.interrupted = true;
            break;
        }
        if (present.count({name, size}) != 0)
            ++tally.skipped;
        else if (uploadMedia(kind, folder + "/" + name, name, device))
            ++tally.added;
        else
            ++tally.failed;
        done += size;
        progress.update(done, total);
    }
    progress.finish(tally.interrupted ? "aborted" : "done");
    return tally;
}

} // namespace zentro::cli
