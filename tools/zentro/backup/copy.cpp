// zentro copy --from N --to M: records and media from one attached phone to another, adding
// only what the destination lacks (the same identity and media routine as restore). Music and
// videos go phone to phone; photos pass through a private folder on this computer.

#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include <CLI/CLI.hpp>

#include "backup/backup.h"
#include "backup/media_sync.h"
#include "backup/record_kinds.h"
#include "cli.h"
#include "interrupt.h"
#include "progress.h"

namespace zentro::cli {
namespace {

struct CopyOptions {
    int from = 0;
    int to = 1;
    std::string what = "contacts,calendar,calls,messages,photos,music,videos";
};

Tally copyMedia(const MediaKind& kind, int32_t from, int32_t to) {
    const MediaList source = listMedia(kind, from);
    if (!source.complete) {
        Tally tally;
        tally.interrupted = true;
        return tally;
    }
    std::vector<SyncItem> items;
    for (const MediaItem& item : source.items) {
        SyncItem s;
        s.name = item.plainName;
        s.id = item.id;
        s.size = item.size;
        items.push_back(std::move(s));
    }
    return syncMedia(kind, items, {from, nullptr}, {to, nullptr}).tally;
}

void runCopy(const CopyOptions& o) {
    if (o.from == o.to) throw Failure("--from and --to name the same phone", kExitUsage);
    static const std::string all = "contacts,calendar,calls,messages,photos,music,videos";
    std::set<std::string> what;
    std::stringstream list(o.what);
    for (std::string word; std::getline(list, word, ',');) {
        if (backupKind(word) == nullptr && word != "photos" && word != "music" && word != "videos")
            throw Failure("unknown kind '" + word + "' in --what (" + all + ")", kExitUsage);
        what.insert(word);
    }
    for (int device : {o.from, o.to}) {
        DeviceScope scope(device);
        requirePreparedPhone();
    }
    std::vector<std::pair<std::string, Tally>> tallies;
    for (const BackupKind& kind : backupKinds()) {
        if (what.count(kind.name) == 0 || interrupted()) continue;
        tallies.emplace_back(kind.name, addMissing(kind, readAll(kind, o.from), o.to, false));
    }
    for (const MediaKind& kind : mediaKinds()) {
        if (what.count(kind.family) == 0 || interrupted()) continue;
        tallies.emplace_back(kind.family, copyMedia(kind, o.from, o.to));
    }
    size_t failed = 0;
    for (const auto& [kind, t] : tallies) {
        std::printf("%-9s %zu copied, %zu already there%s\n", kind.c_str(), t.added, t.skipped,
                    t.failed ? (", " + std::to_string(t.failed) + " failed").c_str() : "");
        failed += t.failed;
    }
    if (interrupted()) throw Failure("copy interrupted; run it again to copy the rest", kExitInterrupted);
    if (failed > 0) throw Failure(counted(static_cast<int64_t>(failed), "item") + " could not be copied");
}

} // namespace

void addCopyCommand(CLI::App& app) {
    static CopyOptions o;
    auto* copy = app.add_subcommand("copy", "Copy records and media from one attached phone to another");
    copy->add_option("--from", o.from, "Source phone index")->required()->check(CLI::Range(0, 9));
    copy->add_option("--to", o.to, "Destination phone index")->required()->check(CLI::Range(0, 9));
    copy->add_option("--what", o.what, "Kinds to copy, comma-separated")->capture_default_str();
    copy->callback([] { runCopy(o); });
}

} // namespace zentro::cli
