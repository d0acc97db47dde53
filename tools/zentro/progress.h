// Progress display for long work. On a terminal: one redrawn line with a bar, percentage, rate
// and time left. Otherwise: plain "label: N%" lines on standard error at each tenth, so logs
// and pipes get no control codes.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

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

// Human sizes: 512 B, 12.3 KiB, 4.0 MiB.
std::string formatBytes(double bytes);

} // namespace zentro::cli
