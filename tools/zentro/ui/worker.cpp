#include "ui/worker.h"

#include <cstdio>

namespace zentro::ui {

Worker::Worker()
    : thread_([this] { run(); }) {}

Worker::~Worker() { stop(); }

void Worker::post(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return; // dropped: its caller sees broken_promise
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void Worker::discard() {
    std::deque<std::function<void()>> dropped;
    std::lock_guard lock(mutex_);
    dropped.swap(jobs_); // destroyed after the lock: a dropped task wakes its caller
}

void Worker::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    discard(); // a backup asked for just before Ctrl-C must not start on the way out
}

void Worker::run() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        try {
            job();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "zentro ui: %s\n", error.what());
        }
    }
}

ProgressWatch::ProgressWatch(EventHub& hub, std::string task, std::string kind, Poll poll)
    : hub_(hub)
    , task_(std::move(task))
    , kind_(std::move(kind))
    , poll_(std::move(poll)) {
    thread_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, std::chrono::milliseconds(150), [this] { return done_; }))
            publish(false);
    });
}

ProgressWatch::~ProgressWatch() {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    wake_.notify_all();
    thread_.join();
    publish(true);
}

void ProgressWatch::publish(bool final) {
    const auto now = poll_();
    if (now == last_ && !final) return;
    last_ = now;
    hub_.publish(
        "progress",
        {{"task", task_}, {"kind", kind_}, {"done", now.first}, {"total", now.second}, {"final", final}});
}

} // namespace zentro::ui
