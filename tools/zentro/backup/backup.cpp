// zentro backup DIR: one phone's messages, calls, calendar, contacts, applications, media and
// a screenshot into a folder, with a manifest of sizes and digests and a page to browse it.
#include "backup/backup.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "formats/backup_formats.h"
#include "backup/backup_page.h"
#include "cli.h"
#include "commands/commands.h"
#include "interrupt.h"
#include "progress.h"
#include "records.h"
#include "formats/safe_text.h"
#include "zentrolink.h"

namespace zentro::cli {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

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
            throw Failure("cannot write " + path + ": check the disk has room and the folder is writable");
        }
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        throw Failure("cannot write " + path);
    }
}

int64_t fileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool fileDigest(const std::string& path, int64_t& size, std::string& sha256) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    Sha256 digest;
    std::vector<char> buffer(1 << 16);
    size = 0;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize got = in.gcount();
        if (got <= 0) break;
        digest.update(buffer.data(), static_cast<size_t>(got));
        size += got;
    }
    if (in.bad()) return false;
    sha256 = digest.hexDigest();
    return true;
}

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

const std::string& cell(const Row& row, size_t i) {
    static const std::string empty;
    return i < row.size() && row[i] ? *row[i] : empty;
}

class Backup {
public:
    explicit Backup(std::string dir)
        : dir_(std::move(dir))
        , device_(options().device) {}

    int run() {
        const auto started = std::chrono::steady_clock::now();
        requirePreparedPhone();
        prepareFolder();
        readPhone();
        seconds_["start"] = secondsSince(started);
        // A step that fails (the phone unplugged, the disk full) leaves its files missing; the
        // others still run, so the manifest always tells what the folder holds.
        const auto timed = [&](const char* kind, auto&& step) {
            const auto start = std::chrono::steady_clock::now();
            const size_t missingBefore = missing_.size();
            try {
                step();
            } catch (const Failure& failure) {
                if (error_.empty()) error_ = failure.what();
                if (missing_.size() == missingBefore) missing_.push_back(filesOf(kind));
            } catch (const std::bad_alloc&) {
                // A phone's list too large for this computer's memory costs that step only.
                if (error_.empty()) error_ = std::string("the phone's ") + kind + " did not fit in memory";
                if (missing_.size() == missingBefore) missing_.push_back(filesOf(kind));
            }
            seconds_[kind] = secondsSince(start);
        };
        timed("messages", [&] { backUpMessages(); });
        timed("calls", [&] {
            backUpRecords(callKind(), "calls.csv",
                          [](const RecordSet& s) { return toCsv(callKind().fields, s.rows); });
        });
        timed("calendar", [&] {
            backUpRecords(eventKind(), "calendar.ics",
                          [](const RecordSet& s) { return eventsToIcs(s.rows); });
        });
        timed("contacts", [&] {
            backUpRecords(contactKind(), "contacts.vcf",
                          [](const RecordSet& s) { return contactsToVCards(s.rows); });
        });
        timed("apps", [&] { backUpApps(); });
        timed("screenshot", [&] { backUpScreenshot(); });
        for (const MediaKind& kind : mediaKinds()) timed(kind.family, [&] { backUpMedia(kind); });
        const auto pageStart = std::chrono::steady_clock::now();
        writePage();
        seconds_["page"] = secondsSince(pageStart);
        writeManifest();
        report();
        if (!missing_.empty()) {
            throw Failure("the backup is incomplete: " + std::to_string(missing_.size()) +
                              " files missing (listed in manifest.json)" +
                              (error_.empty() ? std::string() : ", first because " + error_) +
                              "; run the same command again to finish it",
                          interrupted() ? kExitInterrupted : kExitFailed);
        }
        return 0;
    }

private:
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    static std::string filesOf(const std::string& step) {
        static const std::map<std::string, std::string> files = {
            {"messages", "messages.json"}, {"calls", "calls.csv"}, {"calendar", "calendar.ics"},
            {"contacts", "contacts.vcf"},  {"apps", "apps.json"},  {"screenshot", "screenshot.png"}};
        auto it = files.find(step);
        return it != files.end() ? it->second : step + "/";
    }

    void prepareFolder() {
        std::error_code error;
        fs::create_directories(dir_, error);
        for (const MediaKind& kind : mediaKinds()) fs::create_directories(path(kind.family), error);
        fs::create_directories(path("thumbs"), error);
        if (error || !fs::is_directory(dir_)) throw Failure("cannot create the folder " + dir_);
        // Leftovers of a run that was killed outright are never complete files.
        for (const auto& entry : fs::recursive_directory_iterator(dir_, error)) {
            if (entry.path().filename().string().rfind(".partial-", 0) == 0) fs::remove(entry.path(), error);
        }
        std::ifstream in(path("manifest.json"));
        if (in) {
            try {
                previous_ = json::parse(in);
            } catch (const std::exception&) {
                previous_ = json::object(); // an unreadable manifest only costs a full download
            }
        }
    }

    void readPhone() {
        DeviceInfoRecord info{};
        Zentro_GetAndroidDevicesInfo(&info, device_);
        phone_ = {{"serial", std::string(info.serial, strnlen(info.serial, sizeof info.serial))},
                  {"brand", std::string(info.brand, strnlen(info.brand, sizeof info.brand))},
                  {"model", std::string(info.model, strnlen(info.model, sizeof info.model))},
                  {"androidVersion", std::string(info.androidVersion,
                                                 strnlen(info.androidVersion, sizeof info.androidVersion))}};
    }

    // The digest comes from the bytes in hand, so the manifest never reads the file back.
    void write(const std::string& name, const std::string& bytes) {
        writeFileAtomically(path(name), bytes);
        written_.push_back(name);
        digests_[name] = {static_cast<int64_t>(bytes.size()), sha256Hex(bytes)};
    }

    template <class Render>
    bool backUpRecords(const RecordKind& kind, const std::string& file, Render render) {
        if (interrupted()) {
            missing_.push_back(file);
            return false;
        }
        RecordSet set = readRecords(kind);
        if (!set.complete) {
            missing_.push_back(file);
            return false;
        }
        counts_[kind.noun] = set.rows.size();
        write(file, render(set));
        rows_[kind.noun] = std::move(set.rows);
        return true;
    }

    void backUpMessages() {
        if (interrupted()) {
            missing_.push_back("messages.json");
            missing_.push_back("messages.csv");
            return;
        }
        RecordSet set = readRecords(messageKind());
        if (!set.complete) {
            missing_.push_back("messages.json");
            missing_.push_back("messages.csv");
            return;
        }
        counts_["messages"] = set.rows.size();
        write("messages.json", rowsToJson(messageKind(), set.rows));
        write("messages.csv", toCsv(messageKind().fields, set.rows));
        // Conversations as the library groups them; members are named by message id.
        std::unordered_map<std::string, size_t> rowOfId;
        rowOfId.reserve(set.rows.size());
        for (size_t i = 0; i < set.rows.size(); ++i) rowOfId[cell(set.rows[i], 0)] = i;
        SmsTempGroup* group = nullptr;
        Zentro_GetSMSTempGroup(&group);
        conversations_ = json::array();
        for (; group != nullptr; group = group->next) {
            json members = json::array();
            std::string address;
            for (TempGroupMember* m = group->first; m != nullptr; m = m->next) {
                const auto* record = static_cast<const SmsRecord*>(m->record);
                auto it = rowOfId.find(record->id != nullptr ? record->id : "");
                if (it == rowOfId.end()) continue;
                members.push_back(it->second);
                if (address.empty() && record->address != nullptr) address = record->address;
            }
            conversations_.push_back({{"address", address}, {"messages", std::move(members)}});
        }
        rows_["messages"] = std::move(set.rows);
    }

    void backUpApps() {
        if (interrupted()) {
            missing_.push_back("apps.json");
            return;
        }
        const json apps = readApps();
        counts_["apps"] = apps.size();
        write("apps.json", jsonText(apps, 2) + "\n");
    }

    void backUpScreenshot() {
        const std::string final = path("screenshot.png"), partial = partialPathOf(final);
        if (!interrupted() && Zentro_GetAndroidDevicesScreenCap(partial.c_str(), device_) == 0 &&
            fileSize(partial) > 0 && std::rename(partial.c_str(), final.c_str()) == 0) {
            written_.push_back("screenshot.png");
            return;
        }
        std::remove(partial.c_str());
        missing_.push_back("screenshot.png");
    }

    // True when the file is there, of the phone's size, and its bytes are those the last backup
    // recorded: then it is not fetched again.
    bool alreadyThere(const std::string& name, int64_t size) {
        if (!previous_.contains("files") || !previous_["files"].contains(name)) return false;
        const json& entry = previous_["files"][name];
        if (entry.value("size", int64_t(-1)) != size || fileSize(path(name)) != size) return false;
        int64_t actual = 0;
        std::string digest;
        if (!fileDigest(path(name), actual, digest) || digest != entry.value("sha256", "")) return false;
        digests_[name] = {actual, digest};
        return true;
    }

    void backUpMedia(const MediaKind& kind) {
        const std::string folder = kind.family;
        if (interrupted()) {
            missing_.push_back(folder + "/");
            return;
        }
        requirePreparedPhone(); // an empty catalogue must mean an empty phone, not a lost one
        const MediaList listed = listMedia(kind, device_);
        if (!listed.complete) {
            missing_.push_back(folder + "/");
            return;
        }
        const std::vector<MediaItem>& items = listed.items;
        int64_t total = 0, done = 0;
        for (const MediaItem& item : items) total = addSize(total, item.size);
        Progress progress("backing up " + folder, "bytes");
        json list = json::array();
        for (const MediaItem& item : items) {
            const std::string name = folder + "/" + item.name;
            if (interrupted()) {
                missing_.push_back(name);
                continue;
            }
            if (alreadyThere(name, item.size)) {
                ++reused_;
            } else {
                const std::string partial = partialPathOf(path(name));
                if (downloadMedia(kind, item, partial, device_) &&
                    std::rename(partial.c_str(), path(name).c_str()) == 0) {
                    fetchedBytes_ = addSize(fetchedBytes_, item.size);
                } else {
                    std::remove(partial.c_str());
                    missing_.push_back(name);
                    done = addSize(done, item.size);
                    progress.update(done, total);
                    continue;
                }
            }
            written_.push_back(name);
            json entry = {{"file", name}, {"size", item.size}};
            if (kind.thumb != nullptr) {
                if (std::string thumb = thumbOf(kind, item); !thumb.empty()) entry["thumb"] = thumb;
            }
            list.push_back(std::move(entry));
            done = addSize(done, item.size);
            progress.update(done, total);
        }
        progress.finish(interrupted() ? "aborted" : "done");
        counts_[folder] = items.size();
        media_[folder] = std::move(list);
    }

    std::string thumbOf(const MediaKind& kind, const MediaItem& item) {
        const std::string name = "thumbs/" + item.name + ".png";
        if (fileSize(path(name)) > 0 && previous_.contains("files") && previous_["files"].contains(name)) {
            written_.push_back(name);
            return name;
        }
        char* picture = nullptr;
        const int32_t bytes = kind.thumb(&picture, item.id, device_);
        if (bytes <= 0 || picture == nullptr) return "";
        write(name, std::string(picture, static_cast<size_t>(bytes)));
        return name;
    }

    void writePage() {
        json data = {{"phone", phone_}, {"date", date_}};
        const auto table = [&](const char* noun, std::initializer_list<size_t> columns) {
            json out = json::array();
            for (const Row& row : rows_[noun]) {
                json r = json::array();
                for (size_t c : columns) r.push_back(cell(row, c));
                out.push_back(std::move(r));
            }
            return out;
        };
        // Compact rows: the page is opened with a hundred thousand messages.
        data["messages"] = table("messages", {4, 5, 2, 3, 6}); // date, type, address, body, read
        data["conversations"] = conversations_;
        data["calls"] = table("calls", {3, 4, 2, 1, 5});              // date, type, number, name, duration
        data["contacts"] = table("contacts", {1, 2, 4, 5, 6, 8, 12}); // names, phones, e-mail, org
        data["events"] = table("events", {3, 4, 2, 5});               // start, end, title, location
        data["photos"] = media_["photos"];
        data["music"] = media_["music"];
        data["videos"] = media_["videos"];
        write("data.js", backupPageScript(data));
        write("index.html", backupPageHtml());
    }

    void writeManifest() {
        json files = json::object();
        for (const std::string& name : written_) {
            auto it = digests_.find(name);
            if (it == digests_.end()) {
                int64_t size = 0;
                std::string digest;
                if (!fileDigest(path(name), size, digest)) {
                    missing_.push_back(name);
                    continue;
                }
                it = digests_.emplace(name, std::make_pair(size, digest)).first;
            }
            files[name] = {{"size", it->second.first}, {"sha256", it->second.second}};
        }
        json manifest = {{"phone", phone_},
                         {"date", date_},
                         {"complete", missing_.empty()},
                         {"counts", counts_},
                         {"files", std::move(files)},
                         {"missing", missing_},
                         {"seconds", seconds_}};
        writeFileAtomically(path("manifest.json"), jsonText(manifest, 2) + "\n");
    }

    void report() {
        if (options().json) {
            std::printf("%s\n", jsonText({{"folder", dir_},
                                          {"complete", missing_.empty()},
                                          {"counts", counts_},
                                          {"mediaFetched", fetchedBytes_},
                                          {"mediaKept", reused_},
                                          {"missing", missing_}},
                                         2)
                                    .c_str());
            return;
        }
        std::printf("backup in %s: %s\n", terminalSafe(dir_).c_str(),
                    missing_.empty() ? "complete" : "incomplete");
        for (const auto& [kind, count] : counts_.items())
            std::printf("  %-9s %s\n", kind.c_str(), count.dump().c_str());
        std::printf("  media fetched %s, %zu files already there\n",
                    formatBytes(double(fetchedBytes_)).c_str(), reused_);
    }

    std::string dir_;
    int32_t device_;
    std::string error_;
    std::string date_ = utcNow();
    json previous_ = json::object();
    json phone_;
    json counts_ = json::object();
    json seconds_ = json::object();
    json conversations_ = json::array();
    std::map<std::string, std::vector<Row>> rows_;
    std::map<std::string, json> media_;
    std::vector<std::string> written_;
    std::vector<std::string> missing_;
    std::map<std::string, std::pair<int64_t, std::string>> digests_;
    int64_t fetchedBytes_ = 0;
    size_t reused_ = 0;
};

} // namespace

void addBackupCommands(CLI::App& app) {
    auto* backup = app.add_subcommand(
        "backup", "Copy everything of one phone into DIR (a second run fetches only what is new)");
    static std::string dir;
    backup->add_option("DIR", dir, "Backup folder (created when missing)")->required();
    backup->callback([] { Backup(absolutePath(dir)).run(); });
    addRestoreCommand(app);
    addCopyCommand(app);
}

} // namespace zentro::cli
