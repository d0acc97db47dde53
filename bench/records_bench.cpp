// Bulk refresh of 100,000 messages from the virtual phone on loopback, beside a bare client that
// runs the same 20,000 page exchanges over a plain socket without parsing anything. Prints the
// library/bare time ratio and the heap the filled list holds per message.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bare_channel.h"
#include "link/command_channel.h"
#include "link/test_seams.h"
#include "platform/process.h"
#include "ratio_reporter.h"
#include "test_support.h"
#include "virtual_phone.h"
#include "zentrolink.h"

namespace {

constexpr int kMessages = 100000;
constexpr int kPageStep = 5;
constexpr uint16_t kChannelPort = 30148;
constexpr size_t kReplyCapacity = 5242880 - 1;

void BM_BulkRefresh_Library(benchmark::State& state) {
    for (auto _ : state) {
        if (Zentro_FlushSMSAll(0) != 0 || Zentro_FlushSMSAll_Count() != kMessages) {
            state.SkipWithError("bulk refresh failed");
            break;
        }
    }
    state.counters["records_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kMessages, benchmark::Counter::kIsRate);
}

void BM_BulkRefresh_Bare(benchmark::State& state) {
    zbench::BareChannel client(kChannelPort);
    if (!client.ok()) {
        state.SkipWithError("no connection");
        return;
    }
    std::vector<char> reply(kReplyCapacity);
    char command[64];
    int32_t count = 0;
    for (auto _ : state) {
        if (client.exchange("getsmsCount;", reinterpret_cast<char*>(&count), 4) != 4) {
            state.SkipWithError("count failed");
            break;
        }
        for (int offset = 0; offset < count; offset += kPageStep) {
            std::snprintf(command, sizeof command, "getsmsPart10:%d;", offset);
            if (client.exchange(command, reply.data(), reply.size()) < 2) {
                state.SkipWithError("page failed");
                return;
            }
        }
    }
    state.counters["records_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kMessages, benchmark::Counter::kIsRate);
}

// Each run is a whole refresh; the ratio compares medians of eleven, library and bare taking turns.
BENCHMARK(BM_BulkRefresh_Library)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(11)
    ->Unit(benchmark::kMillisecond)
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_BulkRefresh_Bare)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(11)
    ->Unit(benchmark::kMillisecond)
    ->DisplayAggregatesOnly(true);

// Heap in use by the filled list: the allocator's count with the list full less with it empty,
// beside the bytes the nodes and texts ask for.
void reportListMemory() {
    Zentro_FlushSMS_Only_ClearList();
    const size_t empty = mallinfo2().uordblks;
    if (Zentro_FlushSMSAll(0) != 0) return;
    const size_t full = mallinfo2().uordblks;
    SmsRecord* head = nullptr;
    const int32_t count = Zentro_GetSMS(&head);
    size_t asked = 0;
    for (const SmsRecord* r = head; r != nullptr; r = r->next) {
        asked += sizeof *r;
        for (const char* t : {r->id, r->person, r->address, r->body, r->date, r->type, r->read, r->threadId})
            if (t != nullptr) asked += std::strlen(t) + 1;
    }
    if (count <= 0) return;
    std::printf("list of %d messages: heap in use %.1f bytes/message (nodes and texts ask %.1f)\n", count,
                static_cast<double>(full - empty) / count, static_cast<double>(asked) / count);
}

} // namespace

int main(int argc, char** argv) {
    zbench::initialize(&argc, argv);
    ztest::ScratchFolder documents;
    zentro::platform::setEnv("XDG_DOCUMENTS_DIR", documents.path().c_str());

    auto phone = std::make_unique<ztest::VirtualPhone>(
        R"({"devices":[{"serial":"ZX1G22ABCD000000","sizes":{"messages":100000}}]})");
    phone->exportAdbPort();
    if (Zentro_CheckDeviceDetected(0) != 0 || Zentro_ReadyTodoing(0) != 0 ||
        Zentro_FlushSMS_Count(0) != kMessages) { // the count also makes the phone build its data
        std::fprintf(stderr, "the virtual phone could not be prepared\n");
        return 1;
    }

    zbench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double library = reporter.seconds("BM_BulkRefresh_Library");
    const double bare = reporter.seconds("BM_BulkRefresh_Bare");
    if (library > 0 && bare > 0) {
        std::printf(
            "bulk refresh of %d messages: library %.1fk records/s, %.0f ms CPU; bare %.1fk records/s, "
            "%.0f ms CPU\n",
            kMessages, kMessages / library / 1e3, reporter.cpuSeconds("BM_BulkRefresh_Library") * 1e3,
            kMessages / bare / 1e3, reporter.cpuSeconds("BM_BulkRefresh_Bare") * 1e3);
    }
    reporter.printRatio("bulk refresh, library/bare", "BM_BulkRefresh_Library", "BM_BulkRefresh_Bare",
                        "<= 1.10");
    reportListMemory();

    zentro::link::resetLinkForTests();
    phone.reset();
    benchmark::Shutdown();
    return 0;
}
