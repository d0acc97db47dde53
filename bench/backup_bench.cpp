// A whole-phone backup with the zentro CLI against the virtual phone: 100,000 messages, 5,000
// contacts and 200 MiB of media. Prints the wall time, the share of each kind, and beside the
// media part the sum of bare adb pulls of the same files, measured in the same run.
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "media/media_kinds.h"
#include "media/write_session.h"
#include "platform/platform.h"
#include "test_support.h"
#include "virtual_phone.h"
#include "zentrolink.h"

namespace {

using zentro::media::MediaKind;
constexpr int64_t kMiB = 1 << 20;

struct BenchFile {
    MediaKind kind;
    const char* name;
    int64_t size;
};

// 200 MiB in all.
const BenchFile kFiles[] = {
    {MediaKind::Photo, "bench_photo_1.jpg", 8 * kMiB},  {MediaKind::Photo, "bench_photo_2.jpg", 8 * kMiB},
    {MediaKind::Music, "bench_music_1.wav", 24 * kMiB}, {MediaKind::Music, "bench_music_2.wav", 24 * kMiB},
    {MediaKind::Video, "bench_video_1.avi", 68 * kMiB}, {MediaKind::Video, "bench_video_2.avi", 68 * kMiB},
};

bool storeOnPhone(const BenchFile& f) {
    std::vector<char> bytes(static_cast<size_t>(f.size));
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + (i >> 12));
    zentro::media::openSession(f.kind, f.name, 0);
    for (int64_t offset = 0; offset < f.size; offset += 100 * 1024) {
        const auto chunk = static_cast<int32_t>(std::min<int64_t>(100 * 1024, f.size - offset));
        if (zentro::media::writeSession(f.kind, bytes.data() + offset, chunk, 0) <= 0) return false;
    }
    zentro::media::finishSession(f.kind, f.name, false, 0);
    return true;
}

// Phone paths of every media item, as adb sees them.
std::vector<std::string> mediaPaths() {
    std::vector<std::string> paths;
    const auto add = [&](const char* path) {
        std::string p = path;
        const std::string storage = "/storage/emulated/0";
        if (p.rfind(storage, 0) == 0) p = "/sdcard" + p.substr(storage.size());
        paths.push_back(p);
    };
    Zentro_FlushDevicesPhotos(0);
    for (int32_t i = 0, n = Zentro_GetPhotoCount(0); i < n; ++i) {
        PhotoInfo info{};
        if (Zentro_GetPhotoInfo(&info, i, 0) == 0) add(info.path);
    }
    Zentro_FlushDevicesMusic(0);
    for (int32_t i = 0, n = Zentro_GetMusicCount(0); i < n; ++i) {
        MusicInfo info{};
        if (Zentro_GetMusicInfo(&info, i, 0) == 0) add(info.path);
    }
    Zentro_FlushDevicesVideo(0);
    for (int32_t i = 0, n = Zentro_GetVideoCount(0); i < n; ++i) {
        VideoInfo info{};
        if (Zentro_GetVideoInfo(&info, i, 0) == 0) add(info.path);
    }
    return paths;
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int run(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

} // namespace

int main() {
    ztest::ScratchFolder work;
    zentro::platform::setEnv("XDG_DOCUMENTS_DIR", work.path().c_str());
    ztest::VirtualPhone phone(R"({"devices":[{"serial":"ZX1G22ABCD000000", "sizes": {"messages": 100000,
        "contacts": 5000, "calls": 2000, "events": 500, "apps": 20, "photos": -1, "music": -1, "videos": -1}}]})");
    phone.exportAdbPort();
    Zentro_Init();
    if (Zentro_CheckDeviceDetected(0) != 0 || Zentro_ReadyTodoing(0) != 0) {
        std::fprintf(stderr, "the virtual phone could not be prepared\n");
        return 1;
    }
    for (const BenchFile& f : kFiles) {
        if (!storeOnPhone(f)) {
            std::fprintf(stderr, "could not store %s on the phone\n", f.name);
            return 1;
        }
    }
    const std::vector<std::string> paths = mediaPaths();
    const std::string bin = ztest::testBinFolder();

    const std::string dir = work.file("backup");
    const auto start = std::chrono::steady_clock::now();
    const int status = run("'" + bin + "/zentro' backup '" + dir + "' >/dev/null 2>" + work.file("err"));
    const double wall = seconds(start);
    if (status != 0) {
        std::fprintf(stderr, "backup failed (%d): %s\n", status, ztest::readFile(work.file("err")).c_str());
        return 1;
    }
    std::ifstream manifestFile(dir + "/manifest.json");
    const auto manifest = nlohmann::json::parse(manifestFile);

    // The same media bytes pulled bare with adb, one file after another.
    const auto bareStart = std::chrono::steady_clock::now();
    int64_t bareBytes = 0;
    for (const std::string& path : paths) {
        const std::string out = work.file("bare.bin");
        if (run("'" + bin + "/adb' pull '" + path + "' '" + out + "' >/dev/null 2>&1") != 0) {
            std::fprintf(stderr, "adb pull %s failed\n", path.c_str());
            return 1;
        }
        bareBytes += static_cast<int64_t>(ztest::readFile(out).size());
    }
    const double bare = seconds(bareStart);

    std::printf("backup of %s messages, %s contacts, %s calls, %s events, %.0f MiB of media\n",
                manifest["counts"]["messages"].dump().c_str(), manifest["counts"]["contacts"].dump().c_str(),
                manifest["counts"]["calls"].dump().c_str(), manifest["counts"]["events"].dump().c_str(),
                double(bareBytes) / kMiB);
    std::printf("wall time %.2f s\n", wall);
    double media = 0;
    for (const auto& [kind, secs] : manifest["seconds"].items()) {
        const double s = secs.get<double>();
        if (kind == "photos" || kind == "music" || kind == "videos") media += s;
        std::printf("  %-10s %7.2f s  %5.1f %%\n", kind.c_str(), s, 100.0 * s / wall);
    }
    std::printf("media in the backup %.2f s (%.1f MiB/s); bare adb pulls of the same %zu files %.2f s "
                "(%.1f MiB/s); ratio backup/bare %.2f\n",
                media, double(bareBytes) / kMiB / media, paths.size(), bare, double(bareBytes) / kMiB / bare,
                media / bare);
    Zentro_UnInit();
    return 0;
}
