#include "backup/media_sync.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <future>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "backup/backup_folder.h"
#include "formats/safe_text.h"
#include "interrupt.h"
#include "progress.h"

namespace zentro::cli {
namespace {

// The phone's items by name, each usable once as "already there", with digests read on demand.
class PhoneHoldings {
public:
    PhoneHoldings(const MediaKind& kind, int32_t device, StagingFolder& staging)
        : kind_(kind)
        , device_(device)
        , staging_(staging) {
        MediaList list = listMedia(kind, device);
        complete_ = list.complete;
        for (MediaItem& item : list.items) byName_[item.plainName].push_back(std::move(item));
    }
    bool complete() const { return complete_; }

    // True (and the phone's item used up) when it holds the item; `digestOf` gives the item's own.
    template <class Digest>
    bool holds(const SyncItem& wanted, Digest digestOf) {
        std::vector<std::string> names = {wanted.name};
        for (std::string& form : numberedForms(wanted.name)) names.push_back(std::move(form));
        for (const std::string& name : names) {
            auto it = byName_.find(name);
            if (it == byName_.end()) continue;
            for (const MediaItem& item : it->second) {
                if (item.size != wanted.size || used_.count(item.id) != 0) continue;
                const std::string mine = digestOf();
                if (!mine.empty() && digest(item) == mine) {
                    used_.insert(item.id);
                    return true;
                }
            }
        }
        return false;
    }

private:
    const std::string& digest(const MediaItem& item) {
        auto it = digests_.find(item.id);
        if (it != digests_.end()) return it->second;
        std::string sha;
        const std::string temp = staging_.newFile(-1 - item.id);
        int64_t size = 0;
        if (!temp.empty() && downloadMedia(kind_, item, temp, device_)) fileDigest(temp, size, sha);
        if (!temp.empty()) std::remove(temp.c_str());
        return digests_[item.id] = sha;
    }

    const MediaKind& kind_;
    int32_t device_;
    StagingFolder& staging_;
    bool complete_ = true;
    std::map<std::string, std::vector<MediaItem>> byName_;
    std::set<int32_t> used_;
    std::map<int32_t, std::string> digests_;
};

MediaItem phoneItem(const SyncItem& item) {
    MediaItem m;
    m.id = item.id;
    m.size = item.size;
    m.name = item.name;
    return m;
}

} // namespace

SyncReport syncMedia(const MediaKind& kind, std::vector<SyncItem>& items, MediaSide from, MediaSide to,
                     bool dryRun) {
    SyncReport report;
    Tally& tally = report.tally;
    if (items.empty()) return report;
    StagingFolder staging;
    std::optional<PhoneHoldings> phone;
    if (to.phone >= 0) {
        phone.emplace(kind, to.phone, staging);
        if (!phone->complete()) {
            tally.interrupted = true;
            return report;
        }
    }
    int64_t total = 0, done = 0;
    for (const SyncItem& item : items) total = addSize(total, item.size);
    Progress progress(std::string(to.folder != nullptr ? "backing up "
                                  : dryRun             ? "checking "
                                                       : "copying ") +
                          kind.family,
                      "bytes");
    // The outcome of one item: counted, and the progress moved on.
    const auto settle = [&](const SyncItem& item, bool held, bool ok) {
        if (held) {
            ++tally.skipped;
        } else if (dryRun || ok) {
            ++tally.added;
        } else {
            ++tally.failed;
            report.failed.push_back(item.file.empty() ? item.name : item.file);
        }
        done = addSize(done, item.size);
        progress.update(done, total);
    };
    struct Digest {
        bool read = false;
        int64_t size = 0;
        std::string sha;
        std::string disk;
    };
    const auto digestFile = [](const std::string& path) {
        Digest d;
        d.read = fileDigest(path, d.size, d.sha, &d.disk);
        return d;
    };
    // A file brought into a folder is hashed on a second core while the next one comes: the
    // digest of a large file costs about what its pull does.
    struct Hashing {
        SyncItem* item = nullptr;
        std::future<Digest> digest;
    };
    Hashing hashing;
    const auto settleHashed = [&] {
        if (hashing.item == nullptr) return;
        SyncItem& item = *hashing.item;
        hashing.item = nullptr;
        const Digest d = hashing.digest.get();
        const bool ok = d.read && d.size == item.size;
        if (ok) {
            item.sha256 = d.sha;
            to.folder->adopt(item.file, item.size, item.sha256, item.stamp, d.disk);
        }
        settle(item, false, ok);
    };
    // What the last backup recorded at an item's file, when it was this same phone item.
    const auto recorded = [&](const SyncItem& item) -> const nlohmann::ordered_json* {
        const auto* before = to.folder->previous(item.file);
        return before != nullptr && before->value("phone", "") == item.stamp &&
                       before->value("size", int64_t(-1)) == item.size
                   ? before
                   : nullptr;
    };
    // A file the last backup recorded and nobody touched since is kept as recorded, unread: a
    // second backup of an unchanged phone moves no media byte and hashes none.
    std::vector<char> kept(to.folder != nullptr ? items.size() : 0, 0);
    for (size_t i = 0; i < kept.size(); ++i) {
        if (recorded(items[i]) == nullptr) continue;
        items[i].sha256 = to.folder->keepUnchanged(items[i].file, items[i].stamp);
        kept[i] = !items[i].sha256.empty();
    }
    // Files the last backup recorded that were touched since are read back a few ahead, one per
    // core. They are taken in order, so progress still moves item by item.
    std::vector<std::future<Digest>> ahead(kept.size());
    const size_t window = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 4);
    size_t scanned = 0, pending = 0;
    const auto readAhead = [&] {
        for (; scanned < items.size() && pending < window; ++scanned) {
            if (kept[scanned] != 0 || recorded(items[scanned]) == nullptr) continue;
            auto work = [digestFile, path = to.folder->path(items[scanned].file)] {
                return digestFile(path);
            };
            try {
                ahead[scanned] = std::async(std::launch::async, work);
            } catch (const std::system_error&) {
                ahead[scanned] = std::async(std::launch::deferred, work); // no thread to spare
            }
            ++pending;
        }
    };
    const auto digestOf = [&](size_t at) {
        readAhead();
        --pending;
        try {
            return ahead[at].get();
        } catch (const std::exception&) {
            return Digest{};
        }
    };
    for (SyncItem& item : items) {
        if (interrupted()) {
            tally.interrupted = true;
            break;
        }
        // The source's copy on this computer: the backup's file, or a download kept for the upload.
        std::string local = from.folder != nullptr ? from.folder->path(item.file) : "";
        const auto fetch = [&]() -> const std::string& {
            if (local.empty() && from.phone >= 0) {
                const std::string temp = staging.newFile(item.id);
                if (!temp.empty() && downloadMedia(kind, phoneItem(item), temp, from.phone)) {
                    local = temp;
                    report.bytesMoved = addSize(report.bytesMoved, item.size);
                }
            }
            return local;
        };
        const auto ownDigest = [&]() -> std::string {
            if (item.sha256.empty() && !fetch().empty()) {
                int64_t size = 0;
                fileDigest(local, size, item.sha256);
            }
            return item.sha256;
        };
        bool held = false, ok = false;
        if (to.folder != nullptr) {
            const size_t at = static_cast<size_t>(&item - items.data());
            if (kept[at] != 0) {
                held = true;
            } else if (const auto* before = recorded(item)) {
                const Digest d = digestOf(at);
                ++report.readBack;
                held = d.read && d.size == item.size && d.sha == before->value("sha256", "");
                if (held) {
                    item.sha256 = d.sha;
                    to.folder->adopt(item.file, d.size, d.sha, item.stamp, d.disk);
                }
            }
            if (!held && !dryRun) {
                const std::string final = to.folder->path(item.file), partial = partialPathOf(final);
                std::error_code error;
                std::filesystem::create_directories(std::filesystem::path(final).parent_path(), error);
                if (downloadMedia(kind, phoneItem(item), partial, from.phone) &&
                    std::rename(partial.c_str(), final.c_str()) == 0) {
                    report.bytesMoved = addSize(report.bytesMoved, item.size);
                    settleHashed();
                    hashing.item = &item;
                    hashing.digest =
                        std::async(std::launch::async, [digestFile, final] { return digestFile(final); });
                    continue;
                }
                std::remove(partial.c_str());
            }
        } else {
            held = phone->holds(item, ownDigest);
            if (!held && !dryRun) {
                if (from.phone >= 0 && kind.transfer != nullptr) {
                    ok = kind.transfer(item.id, item.name.c_str(), item.size, from.phone, to.phone) == 0;
                    if (ok) report.bytesMoved = addSize(report.bytesMoved, item.size);
                } else {
                    ok = !fetch().empty() && uploadMedia(kind, local, item.name, to.phone);
                }
            }
        }
        if (from.folder == nullptr && !local.empty()) std::remove(local.c_str());
        settleHashed();
        settle(item, held, ok);
    }
    settleHashed();
    progress.finish(tally.interrupted ? "aborted" : "done");
    return report;
}

} // namespace zentro::cli
