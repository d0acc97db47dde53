// zentro copy --from N --to M: records and media from one attached phone to another, adding
// only what the destination lacks. Music and videos go phone to phone; photos pass through a
// temporary file on this computer.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include <CLI/CLI.hpp>

#include "cli.h"
#include "interrupt.h"
#include "progress.h"
#include "backup/restore.h"
#include "formats/safe_text.h"

namespace zentro::cli {
namespace {

struct CopyOptions {
    int from = 0;
    int to = 1;
    std::string what = "contacts,calendar,calls,photos,music,videos";
};

std::vector<Row> readFrom(const RecordKind& kind, int32_t device) {
    DeviceScope scope(device);
    RecordSet set = readRecords(kind);
    if (!set.complete)
        throw Failure(std::string("reading ") + kind.noun + " was interrupted", kExitInterrupted);
    return set.rows;
}

// One phone-to-phone transfer, the bar fed from the transferred size; Ctrl-C asks the library
// to abort it.
bool transferItem(const MediaKind& kind, const MediaItem& item, int32_t from, int32_t to, Progress& progress,
                  int64_t before, int64_t total) {
    const WatchedWork work = watchWork(
        progress, [&] { return kind.transfer(item.id, item.name.c_str(), item.size, from, to); },
        [&] { return std::pair<int64_t, int64_t>(addSize(before, kind.transferred()), total); }, kind.abort);
    return work.result == 0 && !work.aborted;
}

Tally copyMedia(const MediaKind& kind, int32_t from, int32_t to) {
    Tally tally;
    const MediaList source = listMedia(kind, from);
    const MediaList target = listMedia(kind, to);
    if (!source.complete || !target.complete) {
        tally.interrupted = true;
        return tally;
    }
    std::set<std::pair<std::string, int64_t>> present;
    for (const MediaItem& item : target.items) present.insert({item.name, item.size});
    int64_t total = 0, done = 0;
    for (const MediaItem& item : source.items) total = addSize(total, item.size);
    std::optional<StagingFolder> staging;
    if (kind.transfer == nullptr) staging.emplace();
    Progress progress(std::string("copying ") + kind.family, "bytes");
    for (const MediaItem& item : source.items) {
        if (interrupted()) {
            tally.interrupted = true;
            break;
        }
        if (present.count({item.name, item.size}) != 0) {
            ++tally.skipped;
        } else if (kind.transfer == nullptr) {
            // No phone-to-phone export for the kind: through this computer.
            const std::string temp = staging->newFile(item.id);
            const bool ok = !temp.empty() && kind.download(item.id, temp.c_str(), item.size, from) == 0 &&
                            fileSize(temp) == item.size && uploadMedia(kind, temp, item.name, to);
            if (!temp.empty()) std::remove(temp.c_str());
            ok ? ++tally.added : ++tally.failed;
        } else {
            transferItem(kind, item, from, to, progress, done, total) ? ++tally.added : ++tally.failed;
        }
        done = addSize(done, item.size);
        progress.update(done, total);
    }
    progress.finish(tally.interrupted ? "aborted" : "done");
    return tally;
}

void runCopy(const CopyOptions& o) {
    if (o.from == o.to) throw Failure("--from and --to name the same phone", kExitUsage);
    std::set<std::string> what;
    std::stringstream list(o.what);
    for (std::string word; std::getline(list, word, ',');) {
        static const std::set<std::string> known = {"contacts", "calendar", "calls",
                                                    "photos",   "music",    "videos"};
        if (known.count(word) == 0)
            throw Failure("unknown kind '" + word +
                              "' in --what (contacts,calendar,calls,photos,music,videos)",
                          kExitUsage);
        what.insert(word);
    }
    for (int device : {o.from, o.to}) {
        DeviceScope scope(device);
        requirePreparedPhone();
    }
    std::map<std::string, Tally> tallies;
    const auto want = [&](const char* kind) { return what.count(kind) != 0 && !interrupted(); };
    if (want("contacts")) tallies["contacts"] = restoreContacts(readFrom(contactKind(), o.from), o.to);
    if (want("calendar")) tallies["calendar"] = restoreEvents(readFrom(eventKind(), o.from), o.to);
    if (want("calls")) tallies["calls"] = restoreCalls(readFrom(callKind(), o.from), o.to);
    for (const MediaKind& kind : mediaKinds()) {
        if (want(kind.family)) tallies[kind.family] = copyMedia(kind, o.from, o.to);
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
