// The one reporter every bench program prints through: it keeps each benchmark's median real
// time (the single run where a benchmark runs once) and prints ratios of two of them. The
// programs start through initialize(), which makes repetitions of different benchmarks take
// turns, so a slow spell of the shared machine falls on both sides of a ratio alike.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace zbench {

// benchmark::Initialize with repetitions interleaved (a flag given on the command line wins).
inline void initialize(int* argc, char** argv) {
    static std::vector<char*> args;
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.assign(argv, argv + *argc);
    args.insert(args.begin() + (args.empty() ? 0 : 1), interleave);
    args.push_back(nullptr);
    int count = static_cast<int>(args.size()) - 1;
    benchmark::Initialize(&count, args.data());
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (median || single) {
                const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
                seconds_[nameOf(run)] = run.GetAdjustedRealTime() / unit;
                cpuSeconds_[nameOf(run)] = run.GetAdjustedCPUTime() / unit;
                for (const auto& [key, value] : run.counters)
                    counters_[nameOf(run) + ":" + key] = value.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Seconds per iteration of "BM_Name" or "BM_Name/arg/arg"; 0 when it failed or did not run.
    double seconds(const std::string& name) const {
        auto it = seconds_.find(name);
        return it == seconds_.end() ? 0.0 : it->second;
    }

    // The same for the CPU time of the benchmark's own thread.
    double cpuSeconds(const std::string& name) const {
        auto it = cpuSeconds_.find(name);
        return it == cpuSeconds_.end() ? 0.0 : it->second;
    }

    // A user counter's value (its median where repeated); 0 when missing.
    double counter(const std::string& name, const std::string& key) const {
        auto it = counters_.find(name + ":" + key);
        return it == counters_.end() ? 0.0 : it->second;
    }

    // "<what>  <numerator> <denominator>  ratio r (goal)"; the ratio, 0 when a side is missing.
    double printRatio(const std::string& what, const std::string& numerator, const std::string& denominator,
                      const char* goal = nullptr) const {
        const double n = seconds(numerator);
        const double d = seconds(denominator);
        if (n <= 0 || d <= 0) {
            std::printf("%-36s missing (%s or %s did not run)\n", what.c_str(), numerator.c_str(),
                        denominator.c_str());
            return 0;
        }
        std::printf("%-36s %10.3f ms %10.3f ms  ratio %6.3f%s%s%s\n", what.c_str(), n * 1e3, d * 1e3, n / d,
                    goal != nullptr ? " (goal " : "", goal != nullptr ? goal : "",
                    goal != nullptr ? ")" : "");
        return n / d;
    }

private:
    static std::string nameOf(const Run& run) {
        return run.run_name.args.empty() ? run.run_name.function_name
                                         : run.run_name.function_name + "/" + run.run_name.args;
    }
    std::map<std::string, double> seconds_;
    std::map<std::string, double> cpuSeconds_;
    std::map<std::string, double> counters_;
};

} // namespace zbench
