// Progress display for long work. On a terminal: one redrawn line with a bar, percentage, rate
// and time left. Otherwise: plain "label: N%" lines on standard error at each tenth, so logs
// and pipes get no control codes.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace zentro::cli {

class Progress {
public:
    // `unit` names what is counted ("messages", "bytes"); bytes are shown as KiB/MiB.
    Progress(std::string label, std::string unit);
    ~Progress();

    void update(int64_t done, int64_t total);
    void finish(const std::string& outcome); // ends the line with a word ("done", "aborted")

private:
    void draw(int64_t done, int64_t total, bool final);

    std::string label_;
    std::string unit_;
    bool terminal_;
    bool finished_ = false;
    int lastTenth_ = -1;
    int64_t lastDone_ = 0;
    int64_t lastTotal_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

// Runs `work` (one blocking library call) on a worker thread while this thread redraws
// `progress` from `poll` (done, total) every 50 ms and, at the first Ctrl-C, calls `abort` once
// (when given) so the library stops after its current step.
struct WatchedWork {
    int64_t result = -1;
    bool aborted = false;
};
WatchedWork watchWork(Progress& progress, const std::function<int64_t()>& work,
                      const std::function<std::pair<int64_t, int64_t>()>& poll,
                      const std::function<void()>& abort);

// Human sizes: 512 B, 12.3 KiB, 4.0 MiB.
std::string formatBytes(double bytes);

// "1 message", "3 messages"; the plural is the singular with an "s" unless given.
std::string counted(int64_t count, const std::string& singular, const std::string& plural = "");

} // namespace zentro::cli
