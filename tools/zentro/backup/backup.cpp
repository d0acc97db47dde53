// zentro backup DIR: one phone's messages, calls, calendar, contacts, applications, media and
// a screenshot into a folder, with a manifest of sizes and digests and a page to browse it.
#include "backup/backup.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <new>
#include <nlohmann/json.hpp>
#include <set>
#include <string_view>
#include <unordered_map>

#include "backup/backup_folder.h"
#include "backup/backup_page.h"
#include "backup/media_sync.h"
#include "backup/record_kinds.h"
#include "cli.h"
#include "commands/commands.h"
#include "formats/backup_formats.h"
#include "formats/json_stream.h"
#include "formats/safe_text.h"
#include "interrupt.h"
#include "progress.h"
#include "records.h"
#include "zentrolink.h"

namespace zentro::cli {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string utcNow() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// The phone's text with its padding gone: fixed fields arrive blank- or line-padded.
std::string trimmed(const char* text, size_t capacity) {
    std::string t(text, strnlen(text, capacity));
    const size_t first = t.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return t.substr(first, t.find_last_not_of(" \t\r\n") - first + 1);
}

class Backup {
public:
    Backup(std::string dir, BackupSteps steps)
        : folder_(std::move(dir))
        , device_(options().device)
        , steps_(std::move(steps)) {}

    int run() {
        const auto started = std::chrono::steady_clock::now();
        requirePreparedPhone();
        std::vector<std::string> folders = {"thumbs"};
        for (const MediaKind& kind : mediaKinds()) folders.push_back(kind.family);
        folder_.prepare(folders);
        readPhone();
        seconds_["start"] = secondsSince(started);
        // A step that fails (the phone unplugged, the disk full) leaves its files missing; the
        // others still run, so the manifest always tells what the folder holds.
        const auto timed = [&](const std::string& step, const std::string& files, auto&& work) {
            const auto start = std::chrono::steady_clock::now();
            const size_t missingBefore = folder_.missingCount();
            if (steps_.changed) steps_.changed(step, "running");
            try {
                if (stopped()) throw Failure("interrupted", kExitInterrupted);
                work();
            } catch (const Failure& failure) {
                if (error_.empty() && !stopped()) error_ = failure.what();
                if (folder_.missingCount() == missingBefore) folder_.markMissing(files);
            } catch (const std::bad_alloc&) {
                // A phone's list too large for this computer's memory costs that step only.
                if (error_.empty()) error_ = "the phone's " + step + " did not fit in memory";
                if (folder_.missingCount() == missingBefore) folder_.markMissing(files);
            }
            if (steps_.changed)
                steps_.changed(step, folder_.missingCount() == missingBefore ? "done" : "failed");
            seconds_[step] = secondsSince(start);
        };
        // Messages first: their files are made on the other cores while the rest is read.
        std::vector<const BackupKind*> kinds;
        for (const BackupKind& kind : backupKinds())
            kinds.insert(&kind.records() == &messageKind() ? kinds.begin() : kinds.end(), &kind);
        for (const BackupKind* kind : kinds) timed(kind->name, kind->file, [&] { backUpRecords(*kind); });
        timed("apps", "apps.json", [&] { backUpApps(); });
        timed("screenshot", "screenshot.png", [&] { backUpScreenshot(); });
        for (const MediaKind& kind : mediaKinds())
            timed(kind.family, std::string(kind.family) + "/", [&] { backUpMedia(kind); });
        finishMessages();
        const auto pageStart = std::chrono::steady_clock::now();
        writePage();
        seconds_["page"] = secondsSince(pageStart);
        const bool complete = folder_.save({{"phone", phone_},
                                            {"date", date_},
                                            {"counts", counts_},
                                            {"media", media_},
                                            {"flattened", flattened_},
                                            {"seconds", seconds_}});
        report(complete);
        if (!complete) {
            throw Failure("the backup is incomplete: " + std::to_string(folder_.missingCount()) +
                              " files missing (listed in manifest.json)" +
                              (error_.empty() ? std::string() : ", first because " + error_) +
                              "; run the same command again to finish it",
                          stopped() ? kExitInterrupted : kExitFailed);
        }
        return 0;
    }

private:
    bool stopped() const { return interrupted() || (steps_.cancelled && steps_.cancelled()); }

    void readPhone() {
        DeviceInfoRecord info{};
        Zentro_GetAndroidDevicesInfo(&info, device_);
        phone_ = {{"serial", trimmed(info.serial, sizeof info.serial)},
                  {"brand", trimmed(info.brand, sizeof info.brand)},
                  {"model", trimmed(info.model, sizeof info.model)},
                  {"androidVersion", trimmed(info.androidVersion, sizeof info.androidVersion)}};
    }

    void backUpRecords(const BackupKind& kind) {
        RecordSet set = steps_.reading != nullptr ? readRecords(kind.records(), device_, *steps_.reading)
                                                  : readRecords(kind.records());
        if (!set.complete) {
            folder_.markMissing(kind.file);
            return;
        }
        counts_[kind.name] = set.rows.size();
        if (&kind.records() != &messageKind()) {
            folder_.write(kind.file, kind.encode(set.rows));
            rows_[kind.name] = std::move(set.rows);
            return;
        }
        const std::vector<Row>& rows = rows_[kind.name] = std::move(set.rows);
        // A hundred thousand messages take a while to group and to write out twice: the
        // conversations, the JSON and the CSV are made and written on the other cores while this
        // one waits on the phone for the media.
        conversationsPending_ = std::async(
            std::launch::async, [&rows, groups = libraryGroups()] { return conversations(rows, groups); });
        const auto written = [](const std::string& path, const std::string& text) {
            Written file{static_cast<int64_t>(text.size()), sha256Hex(text)};
            writeFileAtomically(path, text);
            return file;
        };
        messagesJson_ =
            std::async(std::launch::async, [&kind, &rows, written, path = folder_.path("messages.json")] {
                return written(path, kind.encode(rows));
            });
        messagesCsv_ = std::async(std::launch::async, [&rows, written, path = folder_.path("messages.csv")] {
            return written(path, toCsv(messageKind().fields, rows));
        });
    }

    // The messages' files and conversations, once made; their waiting counts to the messages' time.
    void finishMessages() {
        if (!messagesJson_.valid()) return;
        const auto start = std::chrono::steady_clock::now();
        bool complete = true;
        const auto settle = [&](const char* name, auto& pending, auto&& use) {
            try {
                use(pending.get());
            } catch (const Failure& failure) {
                if (error_.empty()) error_ = failure.what();
                if (name != nullptr) folder_.markMissing(name);
                complete = false;
            } catch (const std::bad_alloc&) {
                if (error_.empty()) error_ = "the phone's messages did not fit in memory";
                if (name != nullptr) folder_.markMissing(name);
                complete = false;
            }
        };
        for (auto [name, pending] :
             {std::pair("messages.json", &messagesJson_), std::pair("messages.csv", &messagesCsv_)})
            settle(name, *pending,
                   [&, name = name](const Written& file) { folder_.adopt(name, file.size, file.digest); });
        // Without its conversations the page still lists every message.
        settle(nullptr, conversationsPending_,
               [&](std::vector<Conversation> made) { conversations_ = std::move(made); });
        seconds_["messages"] = seconds_["messages"].get<double>() + secondsSince(start);
        if (!complete && steps_.changed) steps_.changed("messages", "failed");
    }

    // The library's conversations, copied: its lists may change while the rows are matched.
    struct LibraryGroup {
        std::string address;
        std::vector<std::string> ids;
    };
    static std::vector<LibraryGroup> libraryGroups() {
        std::vector<LibraryGroup> groups;
        SmsTempGroup* group = nullptr;
        Zentro_GetSMSTempGroup(&group);
        for (; group != nullptr; group = group->next) {
            LibraryGroup& copy = groups.emplace_back();
            for (TempGroupMember* m = group->first; m != nullptr; m = m->next) {
                const auto* record = static_cast<const SmsRecord*>(m->record);
                copy.ids.emplace_back(record->id != nullptr ? record->id : "");
                if (copy.address.empty() && record->address != nullptr) copy.address = record->address;
            }
        }
        return groups;
    }

    struct Conversation {
        std::string address;
        std::vector<size_t> messages;
    };
    // Conversations as the library groups them; members are named by message position.
    static std::vector<Conversation> conversations(const std::vector<Row>& rows,
                                                   const std::vector<LibraryGroup>& groups) {
        // Keyed by views of the rows' own texts: no copy of a hundred thousand ids.
        std::unordered_map<std::string_view, size_t> rowOfId;
        rowOfId.reserve(rows.size());
        const auto idField =
            static_cast<size_t>(std::find(messageKind().fields.begin(), messageKind().fields.end(), "id") -
                                messageKind().fields.begin());
        for (size_t i = 0; i < rows.size(); ++i) {
            const Cell& id = rows[i][idField];
            rowOfId[id ? std::string_view(*id) : std::string_view()] = i;
        }
        std::vector<Conversation> made;
        for (const LibraryGroup& group : groups) {
            Conversation& conversation = made.emplace_back();
            conversation.address = group.address;
            for (const std::string& id : group.ids) {
                if (auto it = rowOfId.find(id); it != rowOfId.end())
                    conversation.messages.push_back(it->second);
            }
        }
        return made;
    }

    void backUpApps() {
        apps_ = readApps();
        counts_["apps"] = apps_.size();
        folder_.write("apps.json", jsonText(apps_, 2) + "\n");
    }

    void backUpScreenshot() {
        const std::string final = folder_.path("screenshot.png"), partial = partialPathOf(final);
        if (Zentro_GetAndroidDevicesScreenCap(partial.c_str(), device_) == 0 && fileSize(partial) > 0 &&
            std::rename(partial.c_str(), final.c_str()) == 0) {
            folder_.adoptFromDisk("screenshot.png");
            return;
        }
        std::remove(partial.c_str());
        folder_.markMissing("screenshot.png");
    }

    void backUpMedia(const MediaKind& kind) {
        requirePreparedPhone(); // an empty catalogue must mean an empty phone, not a lost one
        const MediaList listed = listMedia(kind, device_);
        if (!listed.complete) {
            folder_.markMissing(std::string(kind.family) + "/");
            return;
        }
        // Files keep the phone's folders; names are made unique per folder, deterministically
        // (lowest id keeps the phone's name), and checked: no two items share a file.
        std::map<std::string, std::set<std::string>> taken;
        for (const MediaItem& item : listed.items) taken[item.folder].insert(item.plainName);
        std::vector<const MediaItem*> byId;
        for (const MediaItem& item : listed.items) byId.push_back(&item);
        std::stable_sort(byId.begin(), byId.end(), [](auto* a, auto* b) { return a->id < b->id; });
        std::set<std::string> given, files;
        std::vector<SyncItem> items;
        for (const MediaItem* item : byId) {
            const std::string key = item->folder + "/" + item->plainName;
            const std::string name = given.insert(key).second
                                         ? item->plainName
                                         : uniqueName(item->plainName, item->id, taken[item->folder]);
            SyncItem s;
            s.name = item->plainName;
            s.file = std::string(kind.family) + "/" + (item->folder.empty() ? "" : item->folder + "/") + name;
            s.id = item->id;
            s.size = item->size;
            s.stamp = std::to_string(item->id) + ":" + std::to_string(item->size) + ":" +
                      item->fields.value("modified", json(0)).dump();
            if (!files.insert(s.file).second) throw Failure("two media items were given one file: " + s.file);
            if (item->flattened) flattened_.push_back(s.file);
            items.push_back(std::move(s));
        }
        const SyncReport sync = syncMedia(kind, items, {device_, nullptr}, {-1, &folder_});
        fetchedBytes_ = addSize(fetchedBytes_, sync.bytesMoved);
        reused_ += sync.tally.skipped;
        readBack_ += sync.readBack;
        std::set<std::string> failed(sync.failed.begin(), sync.failed.end());
        json list = json::array();
        for (size_t i = 0; i < items.size(); ++i) {
            const SyncItem& s = items[i];
            if (failed.count(s.file) != 0 || s.sha256.empty()) {
                folder_.markMissing(s.file);
                continue;
            }
            json entry = {
                {"file", s.file}, {"name", s.name}, {"id", s.id}, {"size", s.size}, {"sha256", s.sha256}};
            if (kind.thumb != nullptr) {
                if (std::string thumb = thumbOf(kind, s); !thumb.empty()) entry["thumb"] = thumb;
            }
            list.push_back(std::move(entry));
        }
        counts_[kind.family] = listed.items.size();
        media_[kind.family] = std::move(list);
    }

    std::string thumbOf(const MediaKind& kind, const SyncItem& item) {
        const std::string name = "thumbs/" + std::to_string(item.id) + "-" + baseName(item.file) + ".png";
        if (!folder_.keepUnchanged(name, item.stamp).empty()) return name;
        char* picture = nullptr;
        const int32_t bytes = kind.thumb(&picture, item.id, device_);
        if (bytes <= 0 || picture == nullptr) return "";
        const std::string png(picture, static_cast<size_t>(bytes));
        writeFileAtomically(folder_.path(name), png);
        folder_.adopt(name, bytes, sha256Hex(png), item.stamp, diskStamp(folder_.path(name)));
        return name;
    }

    // Streamed: the page is opened with a hundred thousand messages, and a tree of them costs
    // more than reading them from the phone.
    void writePage() {
        std::string text;
        size_t rowsText = 0;
        for (const auto& [kind, rows] : rows_) rowsText += rowsTextSize(rows, 4);
        text.reserve(rowsText + (1 << 16));
        text = "window.BACKUP_DATA = ";
        JsonStream data(text);
        data.beginObject().key("phone").tree(phone_).key("date").string(date_);
        const auto table = [&](const char* key, const char* kind, const RecordKind& records,
                               std::initializer_list<const char*> columns) {
            std::vector<size_t> at;
            for (const char* c : columns) {
                const auto it = std::find(records.fields.begin(), records.fields.end(), c);
                at.push_back(static_cast<size_t>(it - records.fields.begin()));
            }
            data.key(key).beginArray();
            for (const Row& row : rows_[kind]) {
                data.beginArray();
                for (size_t i : at) data.string(i < row.size() && row[i] ? std::string_view(*row[i]) : "");
                data.end();
            }
            data.end();
        };
        // Compact rows.
        table("messages", "messages", messageKind(), {"date", "type", "address", "body", "read"});
        data.key("conversations").beginArray();
        for (const Conversation& c : conversations_) {
            data.beginObject().key("address").string(c.address).key("messages").beginArray();
            for (size_t member : c.messages) data.number(static_cast<int64_t>(member));
            data.end().end();
        }
        data.end();
        table("calls", "calls", callKind(), {"date", "type", "number", "name", "duration"});
        table("contacts", "contacts", contactKind(),
              {"firstName", "lastName", "mobile", "homePhone", "workPhone", "homeEmail", "organization"});
        table("events", "calendar", eventKind(), {"start", "end", "title", "location"});
        for (const MediaKind& kind : mediaKinds())
            data.key(kind.family).tree(media_.contains(kind.family) ? media_[kind.family] : json::array());
        data.key("apps").tree(apps_);
        data.key("complete").boolean(!folder_.anyMissing());
        data.key("missing").tree(folder_.missing());
        data.end();
        text += ";\n";
        folder_.write("data.js", text);
        folder_.write("index.html", backupPageHtml());
    }

    void report(bool complete) {
        if (options().json) {
            std::printf("%s\n", jsonText({{"folder", folder_.dir()},
                                          {"complete", complete},
                                          {"counts", counts_},
                                          {"mediaFetched", fetchedBytes_},
                                          {"mediaKept", reused_},
                                          {"mediaReadBack", readBack_},
                                          {"flattened", flattened_},
                                          {"missing", folder_.missing()}},
                                         2)
                                    .c_str());
            return;
        }
        std::printf("backup in %s: %s\n", terminalSafe(folder_.dir()).c_str(),
                    complete ? "complete" : "incomplete");
        for (const auto& [kind, count] : counts_.items())
            std::printf("  %-9s %s\n", kind.c_str(), count.dump().c_str());
        std::printf("  media fetched %s, %zu files already there", formatBytes(double(fetchedBytes_)).c_str(),
                    reused_);
        if (readBack_ != 0) std::printf(" (%zu touched since the last backup, read to check)", readBack_);
        std::printf("\n");
        if (!flattened_.empty())
            std::printf("  %s kept without their phone folders (not a plain path): see \"flattened\" in "
                        "manifest.json\n",
                        counted(static_cast<int64_t>(flattened_.size()), "file").c_str());
    }

    BackupFolder folder_;
    int32_t device_;
    std::string error_;
    std::string date_ = utcNow();
    json phone_;
    json counts_ = json::object();
    json seconds_ = json::object();
    json media_ = json::object();
    json flattened_ = json::array();
    std::vector<Conversation> conversations_;
    json apps_ = json::array();
    BackupSteps steps_;
    std::map<std::string, std::vector<Row>> rows_;
    // Made from rows_ on other threads: declared after it, so they end (and wait) first.
    struct Written {
        int64_t size;
        std::string digest;
    };
    std::future<Written> messagesJson_;
    std::future<Written> messagesCsv_;
    std::future<std::vector<Conversation>> conversationsPending_;
    int64_t fetchedBytes_ = 0;
    size_t reused_ = 0;
    size_t readBack_ = 0;
};

} // namespace

void backUpPhone(const std::string& dir, int32_t device, const BackupSteps& steps) {
    const DeviceScope scope(device);
    Backup(dir, steps).run();
}

void addBackupCommands(CLI::App& app) {
    auto* backup = app.add_subcommand(
        "backup", "Copy everything of one phone into DIR (a second run fetches only what is new)");
    static std::string dir;
    backup->add_option("DIR", dir, "Backup folder (created when missing)")->required();
    backup->callback([] { Backup(absolutePath(dir), {}).run(); });
    addRestoreCommand(app);
    addCopyCommand(app);
}

} // namespace zentro::cli
