// zentro restore DIR: a backup's contacts, calendar, call log, messages and media back onto a
// phone. Every file is checked against the manifest before anything of it reaches the phone, and
// what the phone holds already is left alone, so a second run adds nothing.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "backup/backup.h"
#include "backup/backup_folder.h"
#include "backup/media_sync.h"
#include "backup/record_kinds.h"
#include "cli.h"
#include "formats/safe_text.h"
#include "interrupt.h"
#include "progress.h"
#include "zentrolink.h"

namespace zentro::cli {
namespace {

using json = nlohmann::ordered_json;

struct RestoreOptions {
    std::string dir;
    std::string what = "contacts,calendar,calls,messages,photos,music,videos";
    bool dryRun = false;
    bool strict = false;
};

std::set<std::string> kindsOf(const std::string& what) {
    static const std::string all = "contacts,calendar,calls,messages,photos,music,videos";
    std::set<std::string> known, chosen;
    std::stringstream list(all), asked(what);
    for (std::string word; std::getline(list, word, ',');) known.insert(word);
    for (std::string word; std::getline(asked, word, ',');) {
        if (known.count(word) == 0)
            throw Failure("unknown kind '" + word + "' in --what (" + all + ")", kExitUsage);
        chosen.insert(word);
    }
    return chosen;
}

json tallyJson(const Tally& t) {
    return {{"added", t.added}, {"skipped", t.skipped}, {"failed", t.failed}, {"interrupted", t.interrupted}};
}

class Restore {
public:
    Restore(const RestoreOptions& o, BackupSteps steps = {})
        : o_(o)
        , folder_(absolutePath(o.dir))
        , kinds_(kindsOf(o.what))
        , steps_(std::move(steps)) {}

    void run() {
        restore();
        print();
    }

    // Everything but the printing: the report as --json prints it.
    json restore() {
        if (!folder_.load())
            throw Failure("'" + folder_.dir() + "' holds no backup (no readable manifest.json)", kExitUsage);
        const json& manifest = folder_.manifest();
        if (!manifest.value("complete", false)) {
            std::string missing;
            for (const json& name : manifest.value("missing", json::array()))
                missing += "\n  " + terminalSafe(name.is_string() ? name.get<std::string>() : name.dump());
            std::fprintf(stderr, "warning: this backup is incomplete; not in it:%s\n", missing.c_str());
        }
        requirePreparedPhone();
        device_ = options().device;
        for (const BackupKind& kind : backupKinds()) {
            if (stop()) break;
            if (kinds_.count(kind.name) != 0 && manifest["files"].contains(kind.file))
                step(kind.name, [&] { restoreRecords(kind); });
        }
        for (const MediaKind& kind : mediaKinds()) {
            if (stop()) break;
            if (kinds_.count(kind.family) != 0) step(kind.family, [&] { restoreMedia(kind); });
        }
        json out = report_;
        if (!refused_.empty()) out["leftOut"] = refused_;
        if (!notes_.empty()) out["notes"] = notes_;
        return out;
    }

    bool stop() const { return cut_ || interrupted() || (steps_.cancelled && steps_.cancelled()); }

private:
    template <class Work>
    void step(const std::string& name, Work work) {
        if (steps_.changed) steps_.changed(name, "running");
        work();
        if (!steps_.changed) return;
        const bool failed = report_.contains(name) && report_[name]["failed"].get<size_t>() > 0;
        steps_.changed(name, stop()                   ? "cancelled"
                             : failed                 ? "failed"
                             : report_.contains(name) ? "done"
                                                      : "skipped");
    }

    // A file that is not the one the backup wrote is named and left out; --strict stops there.
    bool trusted(const std::string& name) {
        const FileCheck check = folder_.check(name);
        if (check == FileCheck::Ok) return true;
        std::fprintf(stderr, "%s: %s; left out\n", terminalSafe(name).c_str(), describe(check));
        refused_.push_back(name);
        if (o_.strict)
            throw Failure(terminalSafe(name) + " is " + describe(check) +
                          "; nothing more restored (--strict)");
        return false;
    }

    void restoreRecords(const BackupKind& kind) {
        if (!trusted(kind.file)) {
            Tally t;
            t.failed = 1;
            report_[kind.name] = tallyJson(t);
            return;
        }
        std::ifstream in(folder_.path(kind.file), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        const Tally tally = addMissing(kind, kind.decode(text.str()), device_, o_.dryRun);
        report_[kind.name] = tallyJson(tally);
        cut_ = cut_ || tally.interrupted;
    }

    void restoreMedia(const MediaKind& kind) {
        const json& media = folder_.manifest().value("media", json::object());
        if (!media.contains(kind.family) || !media[kind.family].is_array()) return;
        std::vector<SyncItem> items;
        size_t left = 0, flattened = 0;
        for (const json& entry : media[kind.family]) {
            if (!entry.is_object() || !entry.contains("file") || !entry["file"].is_string()) continue;
            SyncItem item;
            item.file = entry["file"].get<std::string>();
            // Only names the backup could have made: never a way out of its folder.
            if (item.file.rfind(std::string(kind.family) + "/", 0) != 0 ||
                item.file.find("..") != std::string::npos || !trusted(item.file)) {
                ++left;
                continue;
            }
            item.name = safeFileName(entry.value("name", baseName(item.file)), baseName(item.file));
            item.size = entry.value("size", int64_t(0));
            item.sha256 = folder_.manifest()["files"][item.file].value("sha256", "");
            flattened += item.file.find('/', std::string(kind.family).size() + 1) != std::string::npos;
            items.push_back(std::move(item));
        }
        const SyncReport sync = syncMedia(kind, items, {-1, &folder_}, {device_, nullptr}, o_.dryRun);
        Tally tally = sync.tally;
        tally.failed += left;
        report_[kind.family] = tallyJson(tally);
        if (flattened > 0 && tally.added > 0)
            notes_.push_back(std::string(kind.family) + ": the phone takes bare file names, so files from " +
                             "sub-folders of the backup " + (o_.dryRun ? "would go" : "went") + " to its " +
                             kind.family + " folder");
        cut_ = cut_ || tally.interrupted;
    }

    void print() {
        if (options().json) {
            json out = report_;
            if (!refused_.empty()) out["leftOut"] = refused_;
            std::printf("%s\n", jsonText(out, 2).c_str());
        } else {
            const char* verb = o_.dryRun ? "would be added" : "added";
            for (const auto& [kind, t] : report_.items()) {
                std::printf("%-9s %s %s, %s already there%s\n", kind.c_str(), t["added"].dump().c_str(), verb,
                            t["skipped"].dump().c_str(),
                            t["failed"].get<size_t>() ? (", " + t["failed"].dump() + " not restored").c_str()
                                                      : "");
            }
            for (const std::string& note : notes_) std::printf("note: %s\n", note.c_str());
        }
        size_t failed = 0;
        for (const auto& [kind, t] : report_.items()) failed += t["failed"].get<size_t>();
        if (stop()) throw Failure("restore interrupted; run it again to add the rest", kExitInterrupted);
        if (failed > 0)
            throw Failure(counted(static_cast<int64_t>(failed), "item") +
                          " not restored (changed in the backup, or refused by the phone)");
    }

    const RestoreOptions& o_;
    BackupFolder folder_;
    std::set<std::string> kinds_;
    BackupSteps steps_;
    int32_t device_ = 0;
    json report_ = json::object();
    std::vector<std::string> refused_, notes_;
    bool cut_ = false;
};

} // namespace

nlohmann::ordered_json restoreBackup(const std::string& dir, int32_t device, const std::string& what,
                                     bool dryRun, const BackupSteps& steps) {
    const DeviceScope scope(device);
    RestoreOptions o;
    o.dir = dir;
    o.what = what;
    o.dryRun = dryRun;
    Restore restore(o, steps);
    json report = restore.restore();
    if (restore.stop()) throw Failure("restore stopped; run it again to add the rest", kExitInterrupted);
    return report;
}

void addRestoreCommand(CLI::App& app) {
    static RestoreOptions o;
    auto* restore = app.add_subcommand(
        "restore", "Put a backup's contacts, calendar, calls, messages and media back onto a phone");
    restore->add_option("DIR", o.dir, "Backup folder made by 'zentro backup'")->required();
    restore->add_option("--what", o.what, "Kinds to restore, comma-separated")->capture_default_str();
    restore->add_flag("--dry-run", o.dryRun, "Say per kind what would be added; change nothing");
    restore->add_flag("--strict", o.strict, "Stop at the first file that is not as the backup wrote it");
    restore->callback([] { Restore(o).run(); });
}

} // namespace zentro::cli
