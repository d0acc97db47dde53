// Threads that hold the library: the body runs with its context, a joinable one is waited for,
// a detached one runs to its end on its own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/thread.h"

namespace platform = zentro::platform;

namespace {

void addOneSlowly(void* counter) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ++*static_cast<std::atomic<int>*>(counter);
}

} // namespace

TEST(ThreadHoldingLibrary, JoinWaitsForTheBodyAndDetachedBodiesRunToo) {
    std::atomic<int> counter{0};
    platform::Thread thread;
    ASSERT_TRUE(platform::runHoldingLibrary(addOneSlowly, &counter, &thread));
    EXPECT_NE(thread.handle, 0);
    platform::joinThread(thread);
    EXPECT_EQ(counter.load(), 1); // the sleep in the body would have lost a race without the join
    EXPECT_EQ(thread.handle, 0);
    platform::joinThread(thread); // a second join of the same handle does nothing

    ASSERT_TRUE(platform::runHoldingLibrary(addOneSlowly, &counter, nullptr));
    for (int i = 0; i < 6000 && counter.load() != 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(counter.load(), 2);

    EXPECT_FALSE(platform::runHoldingLibrary(nullptr, &counter, nullptr));
}
