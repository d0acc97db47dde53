// The command channel against the virtual phone's companion on loopback, beside a bare client
// that runs the same exchanges over a plain socket: round trips of 4-byte replies, and a
// 16 MiB upload in 100 KiB command+payload chunks. Prints library/bare time ratios at the end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bare_channel.h"
#include "core/state.h"
#include "link/command_channel.h"
#include "link/hex_codec.h"
#include "link/test_seams.h"
#include "platform/process.h"
#include "ratio_reporter.h"
#include "test_support.h"
#include "virtual_phone.h"
#include "zentrolink.h"

namespace {

constexpr size_t kUploadBytes = 16u << 20;
constexpr size_t kChunkBytes = 100u << 10;
constexpr uint16_t kChannelPort = 30148;

std::string g_openCommand; // open_photofile:<hex name>;
std::vector<char> g_upload;

int libraryExchange(const char* command, const char* payload, size_t payloadSize, char* reply,
                    int32_t capacity) {
    return zentro::link::sendCommand(command, reply, capacity, payload, static_cast<int32_t>(payloadSize), 0);
}

void BM_RoundTrip_Library(benchmark::State& state) {
    int32_t count = 0;
    for (auto _ : state) {
        if (libraryExchange("getsmsCount;", nullptr, 0, reinterpret_cast<char*>(&count), 4) != 4) {
            state.SkipWithError("exchange failed");
            break;
        }
    }
    state.counters["round_trips_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_RoundTrip_Bare(benchmark::State& state) {
    zbench::BareChannel client(kChannelPort);
    if (!client.ok()) {
        state.SkipWithError("no connection");
        return;
    }
    const std::string command = "getsmsCount;";
    int32_t count = 0;
    for (auto _ : state) {
        if (client.exchange(command, nullptr, 0, reinterpret_cast<char*>(&count), 4) != 4) {
            state.SkipWithError("exchange failed");
            break;
        }
    }
    state.counters["round_trips_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// open, 100 KiB writes until 16 MiB are sent, close: the session a chunked upload runs.
template <class Exchange>
bool uploadOnce(Exchange&& exchange) {
    char status[4];
    if (exchange(g_openCommand, nullptr, 0, status) != 4) return false;
    for (size_t offset = 0; offset < kUploadBytes; offset += kChunkBytes) {
        const size_t chunk = std::min(kChunkBytes, kUploadBytes - offset);
        const std::string command = "write_photofile:" + std::to_string(chunk) + ";";
        if (exchange(command, g_upload.data() + offset, chunk, status) != 4) return false;
    }
    return exchange("close_photofile;", nullptr, 0, status) == 4;
}

void BM_Upload16MiB_Library(benchmark::State& state) {
    for (auto _ : state) {
        bool ok = uploadOnce([](const std::string& command, const char* payload, size_t size, char* status) {
            return libraryExchange(command.c_str(), payload, size, status, 4);
        });
        if (!ok) {
            state.SkipWithError("upload failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kUploadBytes));
}

void BM_Upload16MiB_Bare(benchmark::State& state) {
    zbench::BareChannel client(kChannelPort);
    if (!client.ok()) {
        state.SkipWithError("no connection");
        return;
    }
    for (auto _ : state) {
        bool ok =
            uploadOnce([&client](const std::string& command, const char* payload, size_t size, char* status) {
                return client.exchange(command, payload, size, status, 4);
            });
        if (!ok) {
            state.SkipWithError("upload failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kUploadBytes));
}

// Loopback timings on a shared machine drift; the ratios compare medians of five runs, taking turns.
BENCHMARK(BM_RoundTrip_Library)->UseRealTime()->Repetitions(5)->DisplayAggregatesOnly(true);
BENCHMARK(BM_RoundTrip_Bare)->UseRealTime()->Repetitions(5)->DisplayAggregatesOnly(true);
BENCHMARK(BM_Upload16MiB_Library)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_Upload16MiB_Bare)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->DisplayAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) {
    zbench::initialize(&argc, argv);
    ztest::ScratchFolder documents;
    zentro::platform::setEnv("XDG_DOCUMENTS_DIR", documents.path().c_str());

    // One phone, prepared as the host prepares it; channel 0 then reaches its companion on the
    // forwarded port, where the bare client connects too.
    auto phone = std::make_unique<ztest::VirtualPhone>(R"({"devices":[{"serial":"ZX1G22ABCD000000"}]})");
    phone->exportAdbPort();
    if (Zentro_CheckDeviceDetected(0) != 0 || Zentro_ReadyTodoing(0) != 0) {
        std::fprintf(stderr, "the virtual phone could not be prepared\n");
        return 1;
    }
    char name[64];
    zentro::link::encodeHexText("bench_upload.bin", name, 60);
    g_openCommand = std::string("open_photofile:") + name + ";";
    g_upload.resize(kUploadBytes);
    for (size_t i = 0; i < g_upload.size(); ++i) g_upload[i] = static_cast<char>(i * 31 + (i >> 12));

    zbench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatio("round trip (4-byte reply)", "BM_RoundTrip_Library", "BM_RoundTrip_Bare", "<= 1.25");
    reporter.printRatio("upload 16 MiB", "BM_Upload16MiB_Library", "BM_Upload16MiB_Bare", "<= 1.25");

    zentro::link::resetLinkForTests();
    phone.reset();
    benchmark::Shutdown();
    return 0;
}
