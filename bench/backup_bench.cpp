// A whole-phone backup with the zentro CLI against the virtual phone: 100,000 messages, 5,000
// contacts and 200 MiB of media. Prints the wall time and the time and share of each kind, and
// beside each kind the bare transfers of the same bytes measured in the same run: the same
// channel exchanges over a plain socket with nothing parsed or written, and adb pulls of the
// same files. A second backup of the unchanged phone shows what a resumed run costs.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bare_channel.h"
#include "media/media_kinds.h"
#include "media/write_session.h"
#include "platform/process.h"
#include "test_support.h"
#include "virtual_phone.h"
#include "zentrolink.h"

namespace {

using zentro::media::MediaKind;
constexpr int64_t kMiB = 1 << 20;
constexpr uint16_t kChannelPort = 30148;
constexpr int kPageStep = 5;
const char* const kSerial = "ZX1G22ABCD000000";

// 200 MiB in all, in the sizes a phone holds them: many photos, fewer songs, a few videos.
struct MediaSet {
    MediaKind kind;
    const char* stem;
    const char* extension;
    int count;
    int64_t size;
};
const MediaSet kMedia[] = {
    {MediaKind::Photo, "bench_photo_", ".jpg", 40, 2 * kMiB},
    {MediaKind::Music, "bench_music_", ".mp3", 20, 3 * kMiB},
    {MediaKind::Video, "bench_video_", ".mp4", 3, 20 * kMiB},
};

bool storeOnPhone(MediaKind kind, const std::string& name, int64_t size) {
    std::vector<char> bytes(static_cast<size_t>(size));
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + (i >> 12) + name.size());
    zentro::media::openSession(kind, name.c_str(), 0);
    for (int64_t offset = 0; offset < size; offset += 100 * 1024) {
        const auto chunk = static_cast<int32_t>(std::min<int64_t>(100 * 1024, size - offset));
        if (zentro::media::writeSession(kind, bytes.data() + offset, chunk, 0) <= 0) return false;
    }
    zentro::media::finishSession(kind, name.c_str(), false, 0);
    return true;
}

struct PhoneMedia {
    std::vector<int32_t> ids;
    std::vector<std::string> paths; // as adb sees them
    int64_t bytes = 0;
};

std::string adbPath(std::string path) {
    const std::string storage = "/storage/emulated/0";
    if (path.rfind(storage, 0) == 0) path = "/sdcard" + path.substr(storage.size());
    return path;
}

// The catalogue of each kind as the library lists it.
std::map<MediaKind, PhoneMedia> listPhoneMedia() {
    std::map<MediaKind, PhoneMedia> media;
    const auto add = [&](MediaKind kind, int32_t id, const char* path, int64_t size) {
        media[kind].ids.push_back(id);
        media[kind].paths.push_back(adbPath(path));
        media[kind].bytes += size;
    };
    Zentro_FlushDevicesPhotos(0);
    for (int32_t i = 0, n = Zentro_GetPhotoCount(0); i < n; ++i) {
        PhotoInfo info{};
        if (Zentro_GetPhotoInfo(&info, i, 0) == 0) add(MediaKind::Photo, info.id, info.path, info.size);
    }
    Zentro_FlushDevicesMusic(0);
    for (int32_t i = 0, n = Zentro_GetMusicCount(0); i < n; ++i) {
        MusicInfo info{};
        if (Zentro_GetMusicInfo(&info, i, 0) == 0) add(MediaKind::Music, info.id, info.path, info.size);
    }
    Zentro_FlushDevicesVideo(0);
    for (int32_t i = 0, n = Zentro_GetVideoCount(0); i < n; ++i) {
        VideoInfo info{};
        if (Zentro_GetVideoInfo(&info, i, 0) == 0) add(MediaKind::Video, info.id, info.path, info.size);
    }
    return media;
}

double secondsSince(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double timed(const std::function<bool()>& work, bool& ok) {
    const auto start = std::chrono::steady_clock::now();
    ok = work() && ok;
    return secondsSince(start);
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Usage {
    double cpu;
};

// CPU (user and system) of every child waited for so far, and their children.
Usage childUsage() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return {seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

int run(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// The bare side: what each kind of the backup moves, with no parsing and no files of its own.
class Bare {
public:
    Bare(std::string bin, std::string scratch)
        : bin_(std::move(bin))
        , scratch_(std::move(scratch))
        , channel_(kChannelPort)
        , reply_(5 * kMiB) {}

    bool ok() const { return channel_.ok(); }

    // A count, then every page of five.
    bool pages(const char* countCommand, const char* pageWord) {
        int32_t count = 0;
        if (channel_.exchange(countCommand, reinterpret_cast<char*>(&count), sizeof count) != 4) return false;
        for (int32_t offset = 0; offset < count; offset += kPageStep) {
            if (!exchange(std::string(pageWord) + ":" + std::to_string(offset) + ";")) return false;
        }
        return true;
    }

    bool apps() {
        int32_t count = 0;
        if (channel_.exchange("flushapplist;", reinterpret_cast<char*>(&count), sizeof count) != 4)
            return false;
        for (int32_t i = 0; i < count; ++i) {
            if (!exchange("getappindexinfo:" + std::to_string(i) + ";")) return false;
        }
        return true;
    }

    bool screenshot() {
        const std::string adb = "'" + bin_ + "/adb' -s " + kSerial;
        return run(adb + " shell /system/bin/screencap -p /sdcard/screenshot.png >/dev/null 2>&1") == 0 &&
               run(adb + " pull /sdcard/screenshot.png '" + scratch_ + "/bare.png' >/dev/null 2>&1") == 0;
    }

    // The listing, the thumbnails where the kind has them, and one adb pull per file, each into a
    // file of its own as the backup writes them: rewriting one file would spare the disk.
    bool media(MediaKind kind, const PhoneMedia& items) {
        const zentro::media::MediaKindRow& row = zentro::media::kindRow(kind);
        int32_t count = 0;
        if (channel_.exchange(std::string(row.listRefresh) + ";", reinterpret_cast<char*>(&count), 4) != 4)
            return false;
        for (int32_t i = 0; i < count; ++i) {
            if (!exchange(std::string(row.itemDetails) + ":" + std::to_string(i) + ";")) return false;
        }
        for (size_t i = 0; i < items.paths.size(); ++i) {
            if (kind == MediaKind::Photo &&
                !exchange(std::string(row.thumbnail) + ":" + std::to_string(items.ids[i]) + ";"))
                return false;
            const std::string out = scratch_ + "/bare-" + std::to_string(pulled_.size()) + ".bin";
            pulled_.push_back(out);
            if (run("'" + bin_ + "/adb' -s " + kSerial + " pull '" + items.paths[i] + "' '" + out +
                    "' >/dev/null 2>&1") != 0)
                return false;
        }
        return true;
    }

    // The pulled files go once measured, so every repetition writes anew.
    void removePulled() {
        for (const std::string& file : pulled_) std::remove(file.c_str());
        pulled_.clear();
    }

private:
    bool exchange(const std::string& command) {
        return channel_.exchange(command, reply_.data(), reply_.size()) >= 0;
    }

    std::string bin_;
    std::string scratch_;
    zbench::BareChannel channel_;
    std::vector<char> reply_;
    std::vector<std::string> pulled_;
};

} // namespace

int main(int argc, char** argv) {
    int repetitions = 3;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--reps") repetitions = std::max(1, std::atoi(argv[i + 1]));
    }
    ztest::ScratchFolder work;
    zentro::platform::setEnv("XDG_DOCUMENTS_DIR", work.path().c_str());
    ztest::VirtualPhone phone(R"({"devices":[{"serial":")" + std::string(kSerial) + R"(", "sizes": {
        "messages": 100000, "contacts": 5000, "calls": 2000, "events": 500, "apps": 40,
        "photos": -1, "music": -1, "videos": -1}}]})");
    phone.exportAdbPort();
    Zentro_Init();
    if (Zentro_CheckDeviceDetected(0) != 0 || Zentro_ReadyTodoing(0) != 0) {
        std::fprintf(stderr, "the virtual phone could not be prepared\n");
        return 1;
    }
    for (const MediaSet& set : kMedia) {
        for (int i = 0; i < set.count; ++i) {
            const std::string name = set.stem + std::to_string(i) + set.extension;
            if (!storeOnPhone(set.kind, name, set.size)) {
                std::fprintf(stderr, "could not store %s on the phone\n", name.c_str());
                return 1;
            }
        }
    }
    const std::map<MediaKind, PhoneMedia> media = listPhoneMedia();
    const std::string bin = ztest::testBinFolder();
    // ZENTRO_BENCH_WRAP runs each backup under a profiler, e.g. "perf record -g -o FILE{run} --";
    // {run} becomes <repetition>-1 for a first backup and <repetition>-2 for the second.
    const char* wrapText = std::getenv("ZENTRO_BENCH_WRAP");
    const auto backupCommand = [&](const std::string& dir, const std::string& number) {
        std::string wrap = wrapText != nullptr ? wrapText : "";
        for (size_t at; (at = wrap.find("{run}")) != std::string::npos;) wrap.replace(at, 5, number);
        return wrap + " '" + bin + "/zentro' --json backup '" + dir + "' >'" + work.file("second.json") +
               "' 2>" + work.file("err");
    };
    Bare bare(bin, work.path());
    if (!bare.ok()) {
        std::fprintf(stderr, "no channel connection for the bare transfers\n");
        return 1;
    }
    const std::pair<const char*, MediaKind> mediaKinds[] = {
        {"photos", MediaKind::Photo}, {"music", MediaKind::Music}, {"videos", MediaKind::Video}};
    const char* const recordKinds[] = {"messages", "calls", "calendar", "contacts", "apps"};

    // Each repetition: a backup into a new folder, the same transfers bare, a second backup of
    // the unchanged phone into that folder. Medians over the repetitions.
    std::map<std::string, std::vector<double>> backupSeconds, bareSeconds, secondSeconds;
    std::vector<std::string> stages; // the manifest's order
    nlohmann::ordered_json counts;
    int64_t mediaBytes = 0, mediaFetchedAgain = 0;
    for (int rep = 1; rep <= repetitions; ++rep) {
        const std::string dir = work.file("backup-" + std::to_string(rep));
        // Each side starts with no other side's written pages still going to disk.
        ::sync();
        const Usage before = childUsage();
        auto start = std::chrono::steady_clock::now();
        if (run(backupCommand(dir, std::to_string(rep) + "-1")) != 0) {
            std::fprintf(stderr, "backup failed: %s\n", ztest::readFile(work.file("err")).c_str());
            return 1;
        }
        backupSeconds["total"].push_back(secondsSince(start));
        backupSeconds["total CPU"].push_back(childUsage().cpu - before.cpu);
        std::ifstream manifestFile(dir + "/manifest.json");
        const auto manifest = nlohmann::ordered_json::parse(manifestFile);
        counts = manifest["counts"];
        for (const auto& [stage, value] : manifest["seconds"].items()) {
            if (rep == 1) stages.push_back(stage);
            backupSeconds[stage].push_back(value.get<double>());
        }

        bool ok = true;
        ::sync();
        bareSeconds["messages"].push_back(
            timed([&] { return bare.pages("getsmsCount;", "getsmsPart10"); }, ok));
        bareSeconds["calls"].push_back(
            timed([&] { return bare.pages("getcalllogcount;", "getcalllogpart10"); }, ok));
        bareSeconds["calendar"].push_back(
            timed([&] { return bare.pages("getcalendarcount;", "getcalendarpart10"); }, ok));
        bareSeconds["contacts"].push_back(
            timed([&] { return bare.pages("getcontactCount;", "getcontactpart10"); }, ok));
        bareSeconds["apps"].push_back(timed([&] { return bare.apps(); }, ok));
        bareSeconds["screenshot"].push_back(timed([&] { return bare.screenshot(); }, ok));
        mediaBytes = 0;
        for (const auto& [word, kind] : mediaKinds) {
            const PhoneMedia& items = media.count(kind) ? media.at(kind) : PhoneMedia{};
            mediaBytes += items.bytes;
            bareSeconds[word].push_back(timed([&, kind = kind] { return bare.media(kind, items); }, ok));
        }
        if (!ok) {
            std::fprintf(stderr, "a bare transfer failed\n");
            return 1;
        }
        bare.removePulled();
        double reads = 0;
        for (const char* kind : recordKinds) reads += bareSeconds[kind].back();
        bareSeconds["record reads"].push_back(reads);

        // Everything is there now: a second run checks the files against the manifest.
        ::sync();
        start = std::chrono::steady_clock::now();
        if (run(backupCommand(dir, std::to_string(rep) + "-2")) != 0) {
            std::fprintf(stderr, "second backup failed: %s\n", ztest::readFile(work.file("err")).c_str());
            return 1;
        }
        backupSeconds["second"].push_back(secondsSince(start));
        std::ifstream secondManifest(dir + "/manifest.json");
        const auto afterSecond = nlohmann::ordered_json::parse(secondManifest);
        for (const auto& [stage, value] : afterSecond["seconds"].items())
            secondSeconds[stage].push_back(value.get<double>());
        const auto report = nlohmann::json::parse(ztest::readFile(work.file("second.json")), nullptr, false);
        mediaFetchedAgain = std::max<int64_t>(mediaFetchedAgain, report.value("mediaFetched", int64_t(-1)));
    }

    std::printf("backup of %s messages, %s contacts, %s calls, %s events, %s apps, %.0f MiB of media; "
                "medians of %d\n",
                counts["messages"].dump().c_str(), counts["contacts"].dump().c_str(),
                counts["calls"].dump().c_str(), counts["calendar"].dump().c_str(),
                counts["apps"].dump().c_str(), double(mediaBytes) / kMiB, repetitions);
    std::printf("%-11s %9s %7s %9s %7s\n", "kind", "backup", "share", "bare", "ratio");
    const double wall = median(backupSeconds["total"]);
    double kinds = 0, bareTotal = 0;
    for (const std::string& stage : stages) {
        const double s = median(backupSeconds[stage]);
        kinds += s;
        if (bareSeconds.count(stage) == 0) { // a stage of the backup's own ("start", "page")
            std::printf("%-11s %8.2fs %6.1f%%\n", stage.c_str(), s, 100.0 * s / wall);
            continue;
        }
        const double b = median(bareSeconds[stage]);
        bareTotal += b;
        std::printf("%-11s %8.2fs %6.1f%% %8.2fs %7.2f\n", stage.c_str(), s, 100.0 * s / wall, b,
                    b > 0 ? s / b : 0);
    }
    // Process start-up, the digests of the media, the manifest.
    std::printf("%-11s %8.2fs %6.1f%%\n", "the rest", wall - kinds, 100.0 * (wall - kinds) / wall);
    std::printf("%-11s %8.2fs %6.1f%% %8.2fs %7.2f\n", "total", wall, 100.0, bareTotal, wall / bareTotal);
    std::printf("CPU of the backup (zentro and its adb runs): %.2f s\n", median(backupSeconds["total CPU"]));
    const double reads = median(bareSeconds["record reads"]);
    std::printf("second backup of the unchanged phone: %.2f s; bare record reads %.2f s, ratio %.2f; "
                "media bytes fetched again: %lld\n",
                median(backupSeconds["second"]), reads, median(backupSeconds["second"]) / reads,
                static_cast<long long>(mediaFetchedAgain));
    std::printf("  its stages:");
    for (const std::string& stage : stages)
        std::printf(" %s %.2fs", stage.c_str(), median(secondSeconds[stage]));
    std::printf("\n");
    Zentro_UnInit();
    return 0;
}
