// photos, music, videos: list, pull, push, copy, delete. One implementation over a kind table;
// the three kinds differ only in their exports and detail fields.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli.h"
#include "commands/commands.h"
#include "formats/safe_text.h"
#include "interrupt.h"
#include "media_items.h"
#include "progress.h"

namespace zentro::cli {
namespace {

using json = nlohmann::ordered_json;
namespace fs = std::filesystem;

std::vector<MediaItem> listItems(const MediaKind& kind, int32_t device) {
    MediaList list = listMedia(kind, device);
    if (!list.complete) {
        throw Failure(std::string("listing ") + kind.family + " was interrupted; nothing printed",
                      kExitInterrupted);
    }
    return std::move(list.items);
}

MediaItem findItem(const MediaKind& kind, int32_t id, int32_t device) {
    for (MediaItem& item : listItems(kind, device)) {
        if (item.id == id) return item;
    }
    throw Failure("no " + std::string(kind.noun) + " with id " + std::to_string(id) + " on phone " +
                  std::to_string(device) + " (see 'zentro " + kind.family + " list')");
}

int64_t sizeOnDisk(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

void listCommand(const MediaKind& kind) {
    requirePreparedPhone();
    const std::vector<MediaItem> items = listItems(kind, options().device);
    if (options().json) {
        json out = json::array();
        for (const MediaItem& item : items) out.push_back(item.fields);
        std::printf("%s\n", jsonText(out, 2).c_str());
        return;
    }
    std::printf("%-6s %10s  %s\n", "ID", "SIZE", "PATH");
    for (const MediaItem& item : items) {
        std::printf("%-6d %10s  %s\n", item.id, formatBytes(static_cast<double>(item.size)).c_str(),
                    terminalSafe(item.path).c_str());
    }
    std::fprintf(stderr, "%s\n", counted(static_cast<int64_t>(items.size()), kind.noun).c_str());
}

bool looksLikeId(const std::string& text) {
    return !text.empty() && text.size() <= 10 && text.find_first_not_of("0123456789") == std::string::npos;
}

// Where a pull writes: under the item's safe name (numbered when taken) in the working folder
// or in a DEST folder; onto a DEST file only with --force. A DEST that does not exist and reads
// as a number is refused: "pull 1 2" means two ids far more often than a file named 2.
std::string pullTarget(const MediaItem& item, const std::string& dest, bool force) {
    std::error_code error;
    if (dest.empty()) return freePathIn(fs::current_path(error).string(), item.name);
    const std::string target = fs::absolute(dest, error).lexically_normal().string();
    if (error) throw Failure("cannot use '" + dest + "' as a destination: " + error.message(), kExitUsage);
    if (fs::is_directory(target, error)) return freePathIn(target, item.name);
    if (fs::exists(fs::symlink_status(target, error))) {
        if (!force)
            throw Failure(target + " exists: add --force to replace it, or name another file", kExitUsage);
        return target;
    }
    if (looksLikeId(dest)) {
        throw Failure("'" + dest +
                          "' is not a file or folder here and reads as a second id: pull takes one id "
                          "at a time; to write a file of that name, give ./" +
                          dest,
                      kExitUsage);
    }
    return target;
}

// Downloads into FILE.partial and renames only a complete file, so an interrupted or short
// download never stands under the name or replaces a file that was there.
void pullCommand(const MediaKind& kind, int32_t id, const std::string& dest, bool force) {
    requirePreparedPhone();
    const MediaItem item = findItem(kind, id, options().device);
    const std::string target = pullTarget(item, dest, force);
    const std::string partial = target + ".partial";
    Progress progress("pulling " + item.name, "bytes");
    const WatchedWork work = watchWork(
        progress, [&] { return kind.chunkedDownload(item.id, partial.c_str(), item.size, options().device); },
        [&] { return std::pair<int64_t, int64_t>(sizeOnDisk(partial), item.size); }, kind.abort);
    const int64_t written = sizeOnDisk(partial);
    const std::string kept = " of " + std::to_string(item.size) + " bytes";
    if (work.result != 0) {
        progress.finish("failed");
        throw Failure("cannot write " + partial + ": check the folder exists and is writable");
    }
    if (written != item.size) {
        progress.finish(work.aborted ? "aborted" : "short");
        throw Failure((work.aborted ? "interrupted: kept " : "the transfer ended early: kept ") +
                          std::to_string(written) + kept + " in " + partial,
                      work.aborted ? kExitInterrupted : kExitFailed);
    }
    if (std::rename(partial.c_str(), target.c_str()) != 0) {
        progress.finish("failed");
        throw Failure("cannot rename " + partial + " to " + target);
    }
    progress.finish("done");
    if (options().json)
        std::printf("%s\n", jsonText({{"id", item.id}, {"file", target}, {"bytes", written}}).c_str());
    else
        std::printf("%s (%s)\n", terminalSafe(target).c_str(),
                    formatBytes(static_cast<double>(written)).c_str());
}

void requirePlainName(const std::string& name) {
    if (name.find_first_of("/;\"") != std::string::npos)
        throw Failure("a name on the phone cannot hold '/', ';' or '\"': give another with --name",
                      kExitUsage);
}

// Uploads a file and returns the item it became. The phone may number a taken name
// ("a(1).jpg"): the new item is the one not listed before whose file name starts like the name.
MediaItem pushFile(const MediaKind& kind, const std::string& file, const std::string& name, int32_t device) {
    const int64_t size = sizeOnDisk(file);
    std::vector<int32_t> before;
    for (const MediaItem& item : listItems(kind, device)) before.push_back(item.id);
    Progress progress("pushing " + name, "bytes");
    const WatchedWork work = watchWork(
        progress, [&] { return kind.upload(file.c_str(), name.c_str(), device); },
        [&] { return std::pair<int64_t, int64_t>(kind.progress() * size / 100, size); }, kind.abort);
    if (work.result != 0) {
        progress.finish("failed");
        throw Failure("the phone did not take '" + name + "': is it prepared, and is the name plain?");
    }
    if (work.aborted) {
        progress.finish("aborted");
        throw Failure("interrupted: the partial file was abandoned on the phone", kExitInterrupted);
    }
    const std::string stem = name.substr(0, name.rfind('.'));
    for (const MediaItem& item : listItems(kind, device)) {
        if (std::find(before.begin(), before.end(), item.id) != before.end()) continue;
        if (baseName(item.path).rfind(stem, 0) != 0) continue;
        if (item.size != size) {
            progress.finish("short");
            throw Failure("the upload ended early: " + std::to_string(item.size) + " of " +
                          std::to_string(size) + " bytes arrived as " + item.path);
        }
        progress.update(size, size);
        progress.finish("done");
        return item;
    }
    progress.finish("missing");
    throw Failure("'" + name + "' does not show on the phone after the upload: see the log with -v");
}

void pushCommand(const MediaKind& kind, const std::string& given, std::string name) {
    const std::string file = absolutePath(given);
    std::error_code error;
    if (!fs::is_regular_file(file, error)) throw Failure("no file '" + given + "'", kExitUsage);
    if (name.empty()) name = baseName(file);
    requirePlainName(name);
    requirePreparedPhone();
    const MediaItem item = pushFile(kind, file, name, options().device);
    if (options().json)
        std::printf("%s\n", jsonText(item.fields, 2).c_str());
    else
        std::printf("%s %d: %s (%s)\n", kind.noun, item.id, terminalSafe(item.path).c_str(),
                    formatBytes(static_cast<double>(item.size)).c_str());
}

// Where the library has no phone-to-phone export: down into a private folder of this computer,
// up to the other phone, and the folder removed whatever happened.
int64_t copyThroughComputer(const MediaKind& kind, const MediaItem& item, const std::string& name,
                            int32_t from, int32_t to) {
    const StagingFolder staging;
    const std::string file = staging.newFile(item.id);
    if (file.empty()) throw Failure("cannot create a file in the private folder for the copy");
    Progress progress("fetching " + name + " from phone " + std::to_string(from), "bytes");
    const WatchedWork work = watchWork(
        progress, [&] { return kind.chunkedDownload(item.id, file.c_str(), item.size, from); },
        [&] { return std::pair<int64_t, int64_t>(sizeOnDisk(file), item.size); }, kind.abort);
    const bool whole = work.result == 0 && sizeOnDisk(file) == item.size;
    progress.finish(work.aborted ? "aborted" : whole ? "done" : "failed");
    if (work.aborted) throw Failure("interrupted: nothing was copied", kExitInterrupted);
    if (!whole)
        throw Failure("the " + std::string(kind.noun) + " did not arrive whole from phone " +
                      std::to_string(from) + " (" + std::to_string(sizeOnDisk(file)) + " of " +
                      std::to_string(item.size) + " bytes)");
    return pushFile(kind, file, name, to).size;
}

void reportCopy(const MediaKind& kind, int32_t id, int32_t to, const std::string& name, int64_t bytes) {
    if (options().json) {
        std::printf("%s\n", jsonText({{"id", id}, {"to", to}, {"name", name}, {"bytes", bytes}}).c_str());
    } else {
        std::printf("copied %s %d to phone %d as %s (%s)\n", kind.noun, id, to, terminalSafe(name).c_str(),
                    formatBytes(static_cast<double>(bytes)).c_str());
    }
}

void copyCommand(const MediaKind& kind, int32_t id, int32_t to, std::string name) {
    const int32_t from = options().device;
    if (to == from) throw Failure("source and destination are the same phone: give another --to", kExitUsage);
    if (!name.empty()) requirePlainName(name);
    options().device = to;
    requirePreparedPhone();
    options().device = from;
    requirePreparedPhone();
    const MediaItem item = findItem(kind, id, from);
    if (name.empty()) name = baseName(item.path);
    if (kind.transfer == nullptr) {
        const int64_t bytes = copyThroughComputer(kind, item, name, from, to);
        reportCopy(kind, item.id, to, name, bytes);
        return;
    }
    Progress progress("copying " + name, "bytes");
    const WatchedWork work = watchWork(
        progress, [&] { return kind.transfer(item.id, name.c_str(), item.size, from, to); },
        [&] { return std::pair<int64_t, int64_t>(kind.transferred(), item.size); }, kind.abort);
    const int64_t delivered = kind.transferred();
    if (work.result != 0) {
        progress.finish("failed");
        throw Failure("the name '" + name + "' was refused: give a shorter one with --name", kExitUsage);
    }
    if (work.aborted || delivered < item.size) {
        progress.finish(work.aborted ? "aborted" : "short");
        throw Failure(std::string(work.aborted ? "interrupted" : "the copy ended early") + " after " +
                          std::to_string(delivered) + " of " + std::to_string(item.size) +
                          " bytes; the partial file was abandoned on phone " + std::to_string(to),
                      work.aborted ? kExitInterrupted : kExitFailed);
    }
    progress.finish("done");
    reportCopy(kind, item.id, to, name, delivered);
}

void deleteCommand(const MediaKind& kind, const std::vector<int32_t>& ids) {
    requirePreparedPhone();
    const int32_t device = options().device;
    std::vector<int32_t> known;
    for (const MediaItem& item : listItems(kind, device)) known.push_back(item.id);
    int failed = 0;
    for (int32_t id : ids) {
        const bool listed = std::find(known.begin(), known.end(), id) != known.end();
        if (!listed || kind.remove(id, device) < 0) {
            std::fprintf(stderr, "zentro: %s %d: %s\n", kind.noun, id,
                         listed ? "the phone refused to delete it" : "no such id");
            ++failed;
        } else if (!options().json) {
            std::printf("deleted %s %d\n", kind.noun, id);
        }
    }
    if (options().json)
        std::printf("%s\n", jsonText({{"deleted", ids.size() - failed}, {"failed", failed}}).c_str());
    if (failed > 0)
        throw Failure(std::to_string(failed) + " of " + std::to_string(ids.size()) + " not deleted");
}

struct MediaArguments {
    int32_t id = 0;
    int32_t to = 1;
    bool force = false;
    std::string target;
    std::string name;
    std::vector<int32_t> ids;
};

} // namespace

void addMediaCommands(CLI::App& app) {
    static std::vector<MediaArguments> arguments(mediaKinds().size());
    for (size_t i = 0; i < mediaKinds().size(); ++i) {
        const MediaKind& kind = mediaKinds()[i];
        MediaArguments& args = arguments[i];
        const std::string noun = kind.noun;
        auto* family = app.add_subcommand(kind.family, std::string("The phone's ") + kind.family +
                                                           ": list, pull, push, copy, delete");
        family->require_subcommand(1);
        family
            ->add_subcommand("list", "List id, size and path of every " + noun + " (--json for all details)")
            ->callback([&kind] { listCommand(kind); });

        auto* pull =
            family->add_subcommand("pull", "Download a " + noun + " to this computer, with progress");
        pull->add_option("ID", args.id, "The " + noun + "'s id, as 'list' shows it")->required();
        pull->add_option("DEST", args.target,
                         "File or folder to write (default: its name on the phone, here; numbered when "
                         "taken)");
        pull->add_flag("--force", args.force, "Replace DEST when it is an existing file");
        pull->callback([&kind, &args] { pullCommand(kind, args.id, args.target, args.force); });

        auto* push = family->add_subcommand("push", "Upload a file to the phone as a " + noun);
        push->add_option("FILE", args.target, "The file on this computer")->required();
        push->add_option("--name", args.name, "File name on the phone (default: the file's own)");
        push->callback([&kind, &args] { pushCommand(kind, args.target, args.name); });

        auto* copy = family->add_subcommand("copy", "Copy a " + noun + " from phone -d to phone --to" +
                                                        (kind.transfer ? "" : ", through this computer"));
        copy->add_option("ID", args.id, "The " + noun + "'s id on the source phone")->required();
        copy->add_option("--to", args.to, "Destination phone index")
            ->check(CLI::Range(0, 9))
            ->capture_default_str();
        copy->add_option("--name", args.name, "File name on the destination (default: the source's)");
        copy->callback([&kind, &args] { copyCommand(kind, args.id, args.to, args.name); });

        auto* remove =
            family->add_subcommand("delete", "Delete " + std::string(kind.family) + " by id from the phone");
        remove->add_option("ID", args.ids, "Ids, as 'list' shows them")->required();
        remove->callback([&kind, &args] { deleteCommand(kind, args.ids); });
    }
}

} // namespace zentro::cli
