// `zentro devices` with one phone, the whole process, beside the adb runs it stands for made by
// hand: the device list and the four properties the listing shows. Both sides start programs
// the same way (no shell), so the ratio is what the CLI and the library add around adb.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/process.h"
#include "ratio_reporter.h"
#include "test_support.h"
#include "virtual_phone.h"

extern char** environ;

namespace {

const char* const kSerial = "ZX1G22ABCD000000";
std::string g_bin;

// CPU seconds of the children waited for so far: on a loaded machine the programs' own work,
// apart from the time they wait for a core.
double childCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The children's CPU per iteration, in milliseconds, as a counter beside the time.
class ChildCpu {
public:
    explicit ChildCpu(benchmark::State& state)
        : state_(state)
        , start_(childCpuSeconds()) {}
    ~ChildCpu() {
        state_.counters["child_cpu_ms"] =
            benchmark::Counter((childCpuSeconds() - start_) * 1e3, benchmark::Counter::kAvgIterations);
    }

private:
    benchmark::State& state_;
    double start_;
};

// Runs argv with its output on /dev/null; whether it exited 0.
bool runQuiet(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return started == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_Devices_Zentro(benchmark::State& state) {
    ChildCpu cpu(state);
    for (auto _ : state) {
        if (!runQuiet({g_bin + "/zentro", "devices"})) {
            state.SkipWithError("zentro devices failed");
            break;
        }
    }
}

void BM_Devices_AdbByHand(benchmark::State& state) {
    const std::string adb = g_bin + "/adb";
    ChildCpu cpu(state);
    for (auto _ : state) {
        bool ok = runQuiet({adb, "devices"});
        for (const char* property :
             {"ro.build.version.release", "ro.product.model", "ro.product.manufacturer", "ro.build.PDA"})
            ok = runQuiet({adb, "-s", kSerial, "shell", "getprop", property}) && ok;
        if (!ok) {
            state.SkipWithError("an adb run failed");
            break;
        }
    }
}

BENCHMARK(BM_Devices_Zentro)
    ->UseRealTime()
    ->Iterations(10)
    ->Repetitions(9)
    ->DisplayAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Devices_AdbByHand)
    ->UseRealTime()
    ->Iterations(10)
    ->Repetitions(9)
    ->DisplayAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    zbench::initialize(&argc, argv);
    ztest::ScratchFolder documents;
    zentro::platform::setEnv("XDG_DOCUMENTS_DIR", documents.path().c_str());
    ztest::VirtualPhone phone(R"({"devices":[{"serial":")" + std::string(kSerial) + R"("}]})");
    phone.exportAdbPort();
    g_bin = ztest::testBinFolder();
    // The adb server learns the phone before the first timed run.
    if (!runQuiet({g_bin + "/adb", "devices"})) {
        std::fprintf(stderr, "adb does not reach the virtual phone\n");
        return 1;
    }
    zbench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatio("zentro devices / the adb runs by hand", "BM_Devices_Zentro", "BM_Devices_AdbByHand",
                        "<= 1.15");
    const double zentroCpu = reporter.counter("BM_Devices_Zentro", "child_cpu_ms");
    const double byHandCpu = reporter.counter("BM_Devices_AdbByHand", "child_cpu_ms");
    if (zentroCpu > 0 && byHandCpu > 0)
        std::printf("CPU of the programs run: zentro devices %.1f ms, by hand %.1f ms, ratio %.3f\n",
                    zentroCpu, byHandCpu, zentroCpu / byHandCpu);
    benchmark::Shutdown();
    return 0;
}
