#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "formats/safe_text.h"
#include "interrupt.h"

namespace zentro::cli {

std::string formatBytes(double bytes) {
    char text[32];
    if (bytes < 1024)
        std::snprintf(text, sizeof text, "%.0f B", bytes);
    else if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024);
    else
        std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024 * 1024));
    return text;
}

std::string counted(int64_t count, const std::string& singular, const std::string& plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural.empty() ? singular + "s" : plural);
}

WatchedWork watchWork(Progress& progress, const std::function<int64_t()>& work,
                      const std::function<std::pair<int64_t, int64_t>()>& poll,
                      const std::function<void()>& abort) {
    WatchedWork outcome;
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
    std::thread worker([&] {
        const int64_t result = work();
        std::lock_guard<std::mutex> lock(mutex);
        outcome.result = result;
        finished = true;
        ended.notify_one();
    });
    for (;;) {
        const auto [done, total] = poll();
        progress.update(done, total);
        if (abort && interrupted() && !outcome.aborted) {
            abort();
            outcome.aborted = true;
        }
        // Woken at once when the work ends: a short transfer must not wait out the redraw tick.
        std::unique_lock<std::mutex> lock(mutex);
        if (ended.wait_for(lock, std::chrono::milliseconds(50), [&] { return finished; })) break;
    }
    worker.join();
    const auto [done, total] = poll();
    progress.update(done, total);
    return outcome;
}

Progress::Progress(std::string label, std::string unit)
    : label_(terminalSafe(label)) // labels carry names a phone chose
    , unit_(std::move(unit))
    , terminal_(::isatty(2) != 0)
    , start_(std::chrono::steady_clock::now())
    , lastDraw_(start_ - std::chrono::seconds(1)) {}

Progress::~Progress() {
    if (!finished_) finish("stopped");
}

void Progress::update(int64_t done, int64_t total) {
    lastDone_ = done;
    lastTotal_ = total;
    draw(done, total, false);
}

void Progress::finish(const std::string& outcome) {
    if (finished_) return;
    finished_ = true;
    draw(lastDone_, lastTotal_, true);
    std::fprintf(stderr, terminal_ ? " %s\n" : "%s: %s\n", terminal_ ? outcome.c_str() : label_.c_str(),
                 outcome.c_str());
}

void Progress::draw(int64_t done, int64_t total, bool final) {
    const auto now = std::chrono::steady_clock::now();
    // Sizes come from the phone: the shares are taken in floating point, so sizes near
    // INT64_MAX cannot overflow them.
    const double share =
        total > 0 && done > 0 ? std::min(1.0, static_cast<double>(done) / static_cast<double>(total)) : 0;
    const int percent = static_cast<int>(share * 100);
    if (!terminal_) {
        const int tenth = percent / 10;
        if (final || tenth == lastTenth_) return;
        lastTenth_ = tenth;
        std::fprintf(stderr, "%s: %d%%\n", label_.c_str(), percent);
        return;
    }
    if (!final && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? done / seconds : 0;
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(kWidth * share);
    std::string bar(static_cast<size_t>(filled > kWidth ? kWidth : filled), '#');
    bar.resize(kWidth, '.');
    std::string rateText = unit_ == "bytes" ? formatBytes(rate) + "/s"
                                            : std::to_string(static_cast<int64_t>(rate)) + " " + unit_ + "/s";
    std::string left = "--";
    if (rate > 0 && total > done) {
        const int remaining = static_cast<int>(std::min(static_cast<double>(total - done) / rate, 359999.0));
        char text[16];
        std::snprintf(text, sizeof text, "%d:%02d", remaining / 60, remaining % 60);
        left = text;
    }
    std::fprintf(stderr, "\r%s [%s] %3d%% %s, %s left\033[K", label_.c_str(), bar.c_str(), percent,
                 rateText.c_str(), left.c_str());
    std::fflush(stderr);
}

} // namespace zentro::cli
