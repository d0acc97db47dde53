// Server-sent events: what changed (phones, progress, finished work), for every open page.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace zentro::ui {

class EventHub {
public:
    // Queues one event for every listener; `data` may hold phone text (made valid UTF-8 here).
    void publish(const std::string& type, const nlohmann::ordered_json& data);

    // Waits up to `timeout` for events after `seen` and appends them as SSE frames. False once
    // the hub is closed.
    bool wait(uint64_t& seen, std::string& frames, std::chrono::milliseconds timeout);

    // The number of the last event, so a new listener starts after it.
    uint64_t latest();

    void close();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<uint64_t, std::string>> recent_; // the last few, for slow listeners
    uint64_t last_ = 0;
    bool closed_ = false;
};

} // namespace zentro::ui
