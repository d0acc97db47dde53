// The library takes one call at a time: every call goes through one worker thread, in the
// order asked. A second thread only reads progress of the running work and publishes it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "ui/events.h"

namespace zentro::ui {

class Worker {
public:
    Worker();
    ~Worker(); // stop()

    // Runs `job` on the worker after everything queued before it and waits for its result
    // (or exception).
    template <class Job>
    auto call(Job job) -> decltype(job()) {
        using Result = decltype(job());
        auto task = std::make_shared<std::packaged_task<Result()>>(std::move(job));
        std::future<Result> result = task->get_future();
        // The queue holds the only reference: a job dropped unrun (stop, discard) destroys the
        // task, and get() throws broken_promise instead of waiting for ever.
        post([task = std::move(task)] { (*task)(); });
        return result.get();
    }

    // Queues `job` without waiting; an exception it throws is logged and dropped.
    void post(std::function<void()> job);
    // Drops the queued jobs (their callers see broken_promise); the running one goes on.
    void discard();

    // Ends the thread after the running job; jobs still queued are dropped, as by discard().
    void stop();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};

// Publishes the progress of one running library call as "progress" events, read every 150 ms
// from a thread of its own through the library's progress getters.
class ProgressWatch {
public:
    using Poll = std::function<std::pair<int64_t, int64_t>()>; // done, total
    ProgressWatch(EventHub& hub, std::string task, std::string kind, Poll poll);
    ~ProgressWatch(); // publishes the last value

private:
    void publish(bool final);

    EventHub& hub_;
    std::string task_, kind_;
    Poll poll_;
    std::pair<int64_t, int64_t> last_{-1, -1};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};

} // namespace zentro::ui
