// How fast the virtual phone's companion serves message pages: one page of 5 from a phone of
// 100,000 messages, and all of them page by page, in the handler and over a socket.
#include <benchmark/benchmark.h>

#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>

#include "companion/commands.h"
#include "companion/dataset.h"
#include "device.h"

namespace {

constexpr int kMessages = 100000;

std::shared_ptr<zsim::Device> bigPhone() {
    auto device = std::make_shared<zsim::Device>("BENCH0001", 7);
    device->sizes.messages = kMessages;
    return device;
}

std::string pageCommand(int offset) { return "getsmsPart10:" + std::to_string(offset) + ";"; }

void BM_GenerateMessages(benchmark::State& state) {
    zsim::DataSizes sizes;
    sizes.messages = kMessages;
    for (auto _ : state) benchmark::DoNotOptimize(zsim::companion::generateMessages(7, sizes));
}
BENCHMARK(BM_GenerateMessages)->Unit(benchmark::kMillisecond);

void BM_MessagePage(benchmark::State& state) {
    auto device = bigPhone();
    zsim::companion::CompanionState companion(*device);
    companion.handle(zsim::companion::makeRequest("getsmsCount;")); // the data set is made here, not timed
    int offset = 0;
    size_t bytes = 0;
    for (auto _ : state) {
        const std::string reply = companion.handle(zsim::companion::makeRequest(pageCommand(offset)));
        bytes += reply.size();
        offset = (offset + 5 * 997) % kMessages; // spread over the list
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_MessagePage);

void BM_AllMessagesByPage(benchmark::State& state) {
    auto device = bigPhone();
    zsim::companion::CompanionState companion(*device);
    companion.handle(zsim::companion::makeRequest("getsmsCount;"));
    for (auto _ : state) {
        size_t records = 0;
        for (int offset = 0; offset < kMessages; offset += 5) {
            const std::string reply = companion.handle(zsim::companion::makeRequest(pageCommand(offset)));
            for (char c : reply) records += c == '.';
        }
        if (records != kMessages) state.SkipWithError("a page came back short");
    }
    state.counters["pages"] = kMessages / 5;
}
BENCHMARK(BM_AllMessagesByPage)->Unit(benchmark::kMillisecond);

// The whole path a page takes on the phone: command framing, handler, reply framing, socket.
void BM_AllMessagesOverSocket(benchmark::State& state) {
    auto device = bigPhone();
    device->companionRunning = true;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) {
        state.SkipWithError("socketpair");
        return;
    }
    std::thread server([device, fd = fds[1]] { zsim::serveDevicePort(device, 20148, fd); });
    std::string reply(1 << 20, '\0');
    auto readFull = [&](size_t n) {
        size_t got = 0;
        while (got < n) {
            const ssize_t r = ::recv(fds[0], reply.data() + got, n - got, 0);
            if (r <= 0) return false;
            got += static_cast<size_t>(r);
        }
        return true;
    };
    auto exchange = [&](const std::string& command) -> size_t {
        if (::send(fds[0], command.data(), command.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(command.size()))
            return SIZE_MAX;
        if (!readFull(4)) return SIZE_MAX;
        const uint32_t length = static_cast<unsigned char>(reply[0]) |
                                static_cast<unsigned char>(reply[1]) << 8 |
                                static_cast<unsigned char>(reply[2]) << 16 |
                                static_cast<uint32_t>(static_cast<unsigned char>(reply[3])) << 24;
        if (length > reply.size() || !readFull(length)) return SIZE_MAX;
        return length;
    };
    exchange("getsmsCount;");
    for (auto _ : state) {
        for (int offset = 0; offset < kMessages; offset += 5) {
            if (exchange(pageCommand(offset)) == SIZE_MAX) {
                state.SkipWithError("exchange failed");
                break;
            }
        }
    }
    state.counters["pages"] = kMessages / 5;
    ::close(fds[0]);
    server.join();
}
BENCHMARK(BM_AllMessagesOverSocket)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
