#include "ui/events.h"

#include "formats/safe_text.h"

namespace zentro::ui {

namespace {
constexpr size_t kKept = 512;
} // namespace

void EventHub::publish(const std::string& type, const nlohmann::ordered_json& data) {
    // jsonText writes one line, so the frame cannot be split by a line end in phone text.
    std::string frame = "event: " + type + "\ndata: " + cli::jsonText(data) + "\n\n";
    {
        std::lock_guard lock(mutex_);
        recent_.emplace_back(++last_, std::move(frame));
        if (recent_.size() > kKept) recent_.pop_front();
    }
    changed_.notify_all();
}

bool EventHub::wait(uint64_t& seen, std::string& frames, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return closed_ || last_ > seen; });
    if (closed_) return false;
    for (const auto& [number, frame] : recent_) {
        if (number > seen) frames += frame;
    }
    seen = last_;
    return true;
}

uint64_t EventHub::latest() {
    std::lock_guard lock(mutex_);
    return last_;
}

void EventHub::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

} // namespace zentro::ui
