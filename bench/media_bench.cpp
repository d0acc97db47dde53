// Media transfers against the virtual phone on loopback. Channel downloads through the library
// run beside a bare client doing the same exchanges (same chunk sizes, same file writes), the
// adb pull of the same file beside them, and a 50 MiB video copied between two phones beside a
// bare pair of clients. Prints throughput and library/bare time ratios at the end.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bare_channel.h"
#include "core/state.h"
#include "link/test_seams.h"
#include "media/catalogue.h"
#include "media/media_kinds.h"
#include "media/write_session.h"
#include "platform/process.h"
#include "ratio_reporter.h"
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
    int32_t id = 0;
};

BenchFile g_files[] = {
    {MediaKind::Photo, "bench_photo.jpg", 4 * kMiB},
    {MediaKind::Music, "bench_music.wav", 16 * kMiB},
    {MediaKind::Video, "bench_video.avi", 16 * kMiB},
    {MediaKind::Video, "bench_big.avi", 50 * kMiB},
};
std::string g_outFile;

using BareClient = zbench::BareChannel;

int32_t chunkOf(MediaKind kind) { return zentro::media::kindRow(kind).downloadChunkCap; }

// The library's chunked download of file `which` to the PC.
void BM_Download_Library(benchmark::State& state) {
    const BenchFile& f = g_files[state.range(0)];
    using Export = int32_t (*)(int32_t, const char*, int64_t, int32_t);
    const Export exports[] = {Zentro_ExportPhotofromDevice2, Zentro_ExportMusicfromDevice2,
                              Zentro_ExportVideofromDevice2};
    for (auto _ : state) {
        if (exports[static_cast<int>(f.kind)](f.id, g_outFile.c_str(), f.size, 0) != 0) {
            state.SkipWithError("download failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * f.size);
}

// The same reads at the same chunk size into the same kind of file, over a plain socket.
void BM_Download_Bare(benchmark::State& state) {
    const BenchFile& f = g_files[state.range(0)];
    BareClient client(30148);
    if (!client.ok()) {
        state.SkipWithError("no connection");
        return;
    }
    const int32_t chunk = chunkOf(f.kind);
    std::vector<char> buffer(static_cast<size_t>(chunk));
    for (auto _ : state) {
        std::FILE* out = std::fopen(g_outFile.c_str(), "w+b");
        int64_t offset = 0;
        while (offset < f.size) {
            const int64_t want = std::min<int64_t>(chunk, f.size - offset);
            const std::string command = std::string(zentro::media::kindRow(f.kind).readChunk) + ":" +
                                        std::to_string(f.id) + ":" + std::to_string(offset) + ":" +
                                        std::to_string(want) + ";";
            const int got = client.exchange(command, nullptr, 0, buffer.data(), static_cast<size_t>(want));
            if (got <= 4) break;
            std::fwrite(buffer.data(), 1, static_cast<size_t>(got), out);
            offset += got;
        }
        std::fclose(out);
        if (offset != f.size) {
            state.SkipWithError("bare download short");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * f.size);
}

// adb pull of the same video through the library's USB route.
void BM_Download_AdbPull(benchmark::State& state) {
    const BenchFile& f = g_files[state.range(0)];
    for (auto _ : state) {
        if (Zentro_ExportVideofromDevice(f.id, g_outFile.c_str(), f.size, 0) != 0) {
            state.SkipWithError("pull failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * f.size);
}

// A 16 MiB video uploaded over the channel in chunks of the shared buffer (100 KiB).
std::string g_uploadFile;
constexpr int64_t kUploadSize = 16 * kMiB;

void BM_Upload_Library(benchmark::State& state) {
    for (auto _ : state) {
        if (Zentro_AddVideoToDevice2(g_uploadFile.c_str(), "upload_lib.avi", 0) != 0 ||
            Zentro_GetVideoProgress() != 100) {
            state.SkipWithError("upload failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kUploadSize);
}

// The same exchanges from a plain socket: open, 100 KiB writes read from the same file, close,
// completion notice.
void BM_Upload_Bare(benchmark::State& state) {
    BareClient client(30148);
    if (!client.ok()) {
        state.SkipWithError("no connection");
        return;
    }
    std::vector<char> buffer(100 * 1024);
    char status[4];
    const std::string hexName = "75706C6F61645F626172652E617669"; // upload_bare.avi
    for (auto _ : state) {
        std::FILE* in = std::fopen(g_uploadFile.c_str(), "rb");
        client.exchange("open_videofile:" + hexName + ";", nullptr, 0, status, 4);
        int64_t sent = 0;
        for (size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0; sent += got) {
            const std::string write = "write_videofile:" + std::to_string(got) + ";";
            if (client.exchange(write, buffer.data(), got, status, 4) <= 0) break;
        }
        std::fclose(in);
        client.exchange("close_videofile;", nullptr, 0, status, 4);
        client.exchange("addvideotodevice:" + hexName + ";", nullptr, 0, status, 4);
        if (sent != kUploadSize) {
            state.SkipWithError("bare upload short");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kUploadSize);
}

// adb push of the same file through the library's USB route (one name test, then the push).
void BM_Upload_AdbPush(benchmark::State& state) {
    int round = 0;
    for (auto _ : state) {
        const std::string name = "upload_push" + std::to_string(round++) + ".avi";
        if (Zentro_AddVideoToDevice(g_uploadFile.c_str(), name.c_str(), 0) != 0) {
            state.SkipWithError("push failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kUploadSize);
}

void BM_PhoneToPhone50MiB_Library(benchmark::State& state) {
    const BenchFile& f = g_files[3];
    for (auto _ : state) {
        if (Zentro_TransferVideofromDevice(f.id, "copy_big.avi", f.size, 0, 1) != 0 ||
            Zentro_GetVideoProgressSize() != f.size) {
            state.SkipWithError("copy failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * f.size);
}

void BM_PhoneToPhone50MiB_Bare(benchmark::State& state) {
    const BenchFile& f = g_files[3];
    BareClient source(30148), destination(30149);
    if (!source.ok() || !destination.ok()) {
        state.SkipWithError("no connection");
        return;
    }
    std::vector<char> buffer(10240);
    char status[4];
    char hexName[64];
    std::snprintf(hexName, sizeof hexName, "%s", "636F70795F626172652E617669"); // copy_bare.avi
    for (auto _ : state) {
        destination.exchange(std::string("open_videofile:") + hexName + ";", nullptr, 0, status, 4);
        int64_t offset = 0;
        while (offset < f.size) {
            const std::string command = "exportfilefromdevice_video:" + std::to_string(f.id) + ":" +
                                        std::to_string(offset) + ":10240;";
            const int got = source.exchange(command, nullptr, 0, buffer.data(), buffer.size());
            if (got <= 4) break;
            offset += got;
            const std::string write = "write_videofile:" + std::to_string(got) + ";";
            if (destination.exchange(write, buffer.data(), static_cast<size_t>(got), status, 4) <= 0) break;
        }
        destination.exchange("close_videofile;", nullptr, 0, status, 4);
        destination.exchange(std::string("addvideotodevice:") + hexName + ";", nullptr, 0, status, 4);
        if (offset != f.size) {
            state.SkipWithError("bare copy short");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * f.size);
}

constexpr int kRepetitions = 11; // odd, so the median is one measured run

BENCHMARK(BM_Download_Library)
    ->DenseRange(0, 2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_Download_Bare)
    ->DenseRange(0, 2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_Download_AdbPull)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_Upload_Library)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_Upload_Bare)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_Upload_AdbPush)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_PhoneToPhone50MiB_Library)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_PhoneToPhone50MiB_Bare)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->DisplayAggregatesOnly(true);

// Stores file `f` on phone 0 through a write session and learns its id from the list.
bool storeOnPhone(BenchFile& f) {
    std::vector<char> bytes(static_cast<size_t>(f.size));
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + (i >> 12));
    zentro::media::openSession(f.kind, f.name, 0);
    for (int64_t offset = 0; offset < f.size; offset += 100 * 1024) {
        const auto chunk = static_cast<int32_t>(std::min<int64_t>(100 * 1024, f.size - offset));
        if (zentro::media::writeSession(f.kind, bytes.data() + offset, chunk, 0) <= 0) return false;
    }
    zentro::media::finishSession(f.kind, f.name, false, 0);
    const int32_t count = zentro::media::refreshList(f.kind, 0);
    for (int32_t position = 0; position < count; ++position) {
        char info[2048] = {};
        if (zentro::media::itemDetails(f.kind, info, position, 0) != 0) continue;
        const std::string record(info, sizeof info);
        if (record.find(f.name) != std::string::npos) {
            int32_t id;
            std::memcpy(&id, info, sizeof id);
            f.id = id;
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    zbench::initialize(&argc, argv);
    ztest::ScratchFolder documents;
    zentro::platform::setEnv("XDG_DOCUMENTS_DIR", documents.path().c_str());
    g_outFile = documents.file("download.bin");

    auto phone = std::make_unique<ztest::VirtualPhone>(
        R"({"devices":[{"serial":"ZX1G22ABCD000000"},{"serial":"ZX1G22ABCD000001"}]})");
    phone->exportAdbPort();
    for (int index : {0, 1}) {
        if (Zentro_CheckDeviceDetected(index) != 0 || Zentro_ReadyTodoing(index) != 0) {
            std::fprintf(stderr, "the virtual phone %d could not be prepared\n", index);
            return 1;
        }
    }
    for (BenchFile& f : g_files) {
        if (!storeOnPhone(f)) {
            std::fprintf(stderr, "could not store %s on the phone\n", f.name);
            return 1;
        }
    }

    g_uploadFile = documents.file("upload.avi");
    {
        std::string bytes(static_cast<size_t>(kUploadSize), '\0');
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + (i >> 10));
        ztest::writeFile(g_uploadFile, bytes);
    }

    zbench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    auto mibPerSecond = [](int64_t bytes, double seconds) {
        return seconds > 0 ? bytes / seconds / kMiB : 0.0;
    };
    std::printf("\n%-34s %10s %10s %8s\n", "transfer", "library", "bare", "ratio");
    const char* kinds[] = {"photo 4 KiB chunks (4 MiB)", "music 10 KiB chunks (16 MiB)",
                           "video 10 KiB chunks (16 MiB)"};
    for (int i = 0; i < 3; ++i) {
        const double l = reporter.seconds("BM_Download_Library/" + std::to_string(i));
        const double b = reporter.seconds("BM_Download_Bare/" + std::to_string(i));
        std::printf("%-34s %6.1f MiB/s %6.1f MiB/s %8.3f (target <= 1.15)\n", kinds[i],
                    mibPerSecond(g_files[i].size, l), mibPerSecond(g_files[i].size, b), b > 0 ? l / b : 0.0);
    }
    const double pull = reporter.seconds("BM_Download_AdbPull/2");
    const double channelVideo = reporter.seconds("BM_Download_Library/2");
    std::printf("%-34s %6.1f MiB/s (channel/adb pull time ratio %.3f)\n", "adb pull, same video (16 MiB)",
                mibPerSecond(g_files[2].size, pull), pull > 0 ? channelVideo / pull : 0.0);
    const double upLibrary = reporter.seconds("BM_Upload_Library");
    const double upBare = reporter.seconds("BM_Upload_Bare");
    const double push = reporter.seconds("BM_Upload_AdbPush");
    std::printf("%-34s %6.1f MiB/s %6.1f MiB/s %8.3f (target <= 1.15)\n", "upload, 100 KiB chunks (16 MiB)",
                mibPerSecond(kUploadSize, upLibrary), mibPerSecond(kUploadSize, upBare),
                upBare > 0 ? upLibrary / upBare : 0.0);
    std::printf("%-34s %6.1f MiB/s (channel/adb push time ratio %.3f)\n", "adb push, same file (16 MiB)",
                mibPerSecond(kUploadSize, push), push > 0 ? upLibrary / push : 0.0);
    const double p2pLibrary = reporter.seconds("BM_PhoneToPhone50MiB_Library");
    const double p2pBare = reporter.seconds("BM_PhoneToPhone50MiB_Bare");
    std::printf("%-34s %6.1f MiB/s %6.1f MiB/s %8.3f\n", "phone to phone, video (50 MiB)",
                mibPerSecond(g_files[3].size, p2pLibrary), mibPerSecond(g_files[3].size, p2pBare),
                p2pBare > 0 ? p2pLibrary / p2pBare : 0.0);

    zentro::link::resetLinkForTests();
    phone.reset();
    benchmark::Shutdown();
    return 0;
}
