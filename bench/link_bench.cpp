// The command channel against the virtual phone's companion on loopback, beside a bare client
// that runs the same exchanges over a plain socket: round trips of 4-byte replies, and a
// 16 MiB upload in 100 KiB command+payload chunks. Prints library/bare time ratios at the end.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/state.h"
#include "link/command_channel.h"
#include "link/hex_codec.h"
#include "link/test_seams.h"
#include "platform/process.h"
#include "test_support.h"
#include "virtual_phone.h"
#include "zentrolink.h"

namespace {

constexpr size_t kUploadBytes = 16u << 20;
constexpr size_t kChunkBytes = 100u << 10;
constexpr uint16_t kChannelPort = 30148;

std::string g_openCommand; // open_photofile:<hex name>;
std::vector<char> g_upload;

// A plain client: Nagle off and one gathered write per exchange, default buffers.
class BareClient {
public:
    bool connect() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(kChannelPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~BareClient() {
        if (fd_ >= 0) ::close(fd_);
    }

    // One exchange; the reply's length, or -1.
    int exchange(const std::string& command, const char* payload, size_t payloadSize, char* reply,
                 size_t capacity) {
        iovec parts[2] = {{const_cast<char*>(command.data()), command.size()},
                          {const_cast<char*>(payload), payloadSize}};
        int count = payloadSize > 0 ? 2 : 1;
        size_t left = command.size() + payloadSize;
        iovec* next = parts;
        while (left > 0) {
            ssize_t sent = ::writev(fd_, next, count);
            if (sent <= 0) return -1;
            left -= static_cast<size_t>(sent);
            size_t done = static_cast<size_t>(sent);
            while (count > 0 && done >= next->iov_len) {
                done -= next->iov_len;
                ++next;
                --count;
            }
            if (count > 0) {
                next->iov_base = static_cast<char*>(next->iov_base) + done;
                next->iov_len -= done;
            }
        }
        unsigned char header[4];
        if (!readAll(reinterpret_cast<char*>(header), 4)) return -1;
        int32_t length = static_cast<int32_t>(header[0] | header[1] << 8 | header[2] << 16 |
                                              static_cast<uint32_t>(header[3]) << 24);
        if (length < 0 || static_cast<size_t>(length) > capacity) return -1;
        return readAll(reply, static_cast<size_t>(length)) ? length : -1;
    }

private:
    bool readAll(char* out, size_t size) {
        size_t have = 0;
        while (have < size) {
            ssize_t n = ::recv(fd_, out + have, size - have, 0);
            if (n <= 0) return false;
            have += static_cast<size_t>(n);
        }
        return true;
    }
    int fd_ = -1;
};

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
    BareClient client;
    if (!client.connect()) {
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
    BareClient client;
    if (!client.connect()) {
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

// Loopback timings on a shared machine drift; the ratios compare medians of five runs.
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

// Keeps each benchmark's median real time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" && !run.error_occurred) {
                seconds[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

void printRatio(const RatioReporter& reporter, const std::string& what, const std::string& library,
                const std::string& bare) {
    auto l = reporter.seconds.find(library);
    auto b = reporter.seconds.find(bare);
    if (l == reporter.seconds.end() || b == reporter.seconds.end() || b->second <= 0) return;
    std::printf("%-28s library/bare time ratio %.3f (target <= 1.25)\n", what.c_str(), l->second / b->second);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
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

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printRatio(reporter, "round trip (4-byte reply)", "BM_RoundTrip_Library", "BM_RoundTrip_Bare");
    printRatio(reporter, "upload 16 MiB", "BM_Upload16MiB_Library", "BM_Upload16MiB_Bare");

    zentro::link::resetLinkForTests();
    phone.reset();
    benchmark::Shutdown();
    return 0;
}
