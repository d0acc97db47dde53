// Seams for the test programs only: nothing in the product calls these.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace zentro::bridge {

// Waits used by the adb runner; tests shorten them.
struct RunnerTimings {
    int boundedMs = 20000;
    int captureMs = 4000;
    int turnPollMs = 100;
};
void setRunnerTimingsForTests(const RunnerTimings& timings);
void resetRunnerForTests(); // default timings, name counter back to 0

// The watcher's start rule on its own: nothing when `started` is set; else `create` the
// thread, a second time if the first fails, and log the failure when both fail.
int startWatcherOnce(std::atomic<bool>& started, bool (*create)());

// How many watcher threads this process created (at most one).
int watcherThreadsCreated();

// Rebuilds the USB list from the given identifiers, as an enumeration would.
int32_t setUsbListFromIds(const std::vector<std::string>& ids);

// Empties the USB list. The watcher thread, once started, runs until the process ends.
void resetUsbListForTests();

// Returns the bridge's own process-wide state (the USB list, the runner's timings and name
// counter) to its load-time value. The device table belongs to core.
void resetBridgeForTests();

} // namespace zentro::bridge
