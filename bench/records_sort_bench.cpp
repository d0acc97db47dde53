// The date sort and the conversation grouping beside their quadratic forms (the pairwise
// exchange pass over the list with each node's key taken once; every message compared with
// every group). Messages carry dates over three years, many repeated; conversations have a
// thread id and an address of their own. Prints quadratic/fast time ratios at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "../tests/records/record_fixtures.h"
#include "ratio_reporter.h"
#include "records/date_sort.h"
#include "records/grouping.h"
#include "records/test_seams.h"

namespace {

struct Messages {
    zrec::MessageList list;
    std::vector<SmsRecord> original;
};

std::map<std::pair<int64_t, int64_t>, std::unique_ptr<Messages>> g_lists;

std::string two(unsigned value) { return (value < 10 ? "0" : "") + std::to_string(value); }

// `count` messages in `conversations` conversations, in a fixed random order.
Messages& messages(int64_t count, int64_t conversations) {
    auto& slot = g_lists[{count, conversations}];
    if (slot) return *slot;
    slot = std::make_unique<Messages>();
    std::mt19937 random(static_cast<unsigned>(count));
    for (int64_t i = 0; i < count; ++i) {
        const auto conversation = static_cast<unsigned>(random() % conversations);
        const std::string date = std::to_string(2011 + random() % 3) + "-" + two(1 + random() % 12) + "-" +
                                 two(1 + random() % 28) + " " + two(random() % 24) + ":" +
                                 two(random() % 60) + ":" + two(random() % 60);
        const std::string thread = std::to_string(conversation);
        const std::string address = "+4930" + std::to_string(5550000 + conversation);
        slot->list.add(thread.c_str(), address.c_str(), date.c_str());
    }
    slot->original = zrec::contentsOf(slot->list.head());
    return *slot;
}

void BM_Sort_Fast(benchmark::State& state) {
    Messages& data = messages(state.range(0), state.range(0) / 10);
    for (auto _ : state) {
        state.PauseTiming();
        zrec::restoreContents(data.list.head(), data.original);
        state.ResumeTiming();
        zentro::records::sortMessagesByDate(data.list.head(), 1);
    }
}

void BM_Sort_Exchange(benchmark::State& state) {
    Messages& data = messages(state.range(0), state.range(0) / 10);
    for (auto _ : state) {
        state.PauseTiming();
        zrec::restoreContents(data.list.head(), data.original);
        zrec::DirectKeys keys;
        state.ResumeTiming();
        zrec::exchangeSortList(data.list.head(), 1, keys);
    }
}

void BM_Group_Fast(benchmark::State& state) {
    Messages& data = messages(state.range(0), state.range(1));
    zrec::restoreContents(data.list.head(), data.original);
    for (auto _ : state) benchmark::DoNotOptimize(zentro::records::rebuildMessageGroups(data.list.head()));
    zentro::records::resetGroupingForTests();
}

void BM_Group_Direct(benchmark::State& state) {
    Messages& data = messages(state.range(0), state.range(1));
    zrec::restoreContents(data.list.head(), data.original);
    for (auto _ : state) {
        zrec::DirectKeys keys;
        benchmark::DoNotOptimize(zrec::groupMessagesDirectly(data.list.head(), keys));
    }
}

// The exchange pass over 100,000 messages takes seconds; it runs once per size. Above 100,000
// it would pass a minute and is left out. The pass with keys converted at every comparison
// (twice per comparison through the C library) would take minutes already at 10,000.
BENCHMARK(BM_Sort_Fast)
    ->Arg(10000)
    ->Arg(50000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_Sort_Exchange)
    ->Arg(10000)
    ->Arg(50000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_Group_Fast)
    ->Args({100000, 10000})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_Group_Direct)->Args({100000, 10000})->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    zbench::initialize(&argc, argv);
    zbench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // The ratios are quadratic/fast: how much the fast orders save.
    for (const char* size : {"10000", "50000", "100000"}) {
        reporter.printRatio(std::string("sort ") + size + " messages",
                            std::string("BM_Sort_Exchange/") + size, std::string("BM_Sort_Fast/") + size);
    }
    reporter.printRatio("group 100000 messages, 10000 conv.", "BM_Group_Direct/100000/10000",
                        "BM_Group_Fast/100000/10000");
    g_lists.clear();
    benchmark::Shutdown();
    return 0;
}
