// Seams for the test programs only: nothing in the product calls these, and only test builds
// (ZENTRO_TESTING) compile them.
#pragma once

#ifndef ZENTRO_TESTING
#error "test seams are compiled into test builds only"
#endif

#include "bridge/adb_runner.h"
#include "bridge/usb_watcher.h"

namespace zentro::bridge {

// Tests shorten the adb runner's waits.
void setRunnerTimingsForTests(const RunnerTimings& timings);
void resetRunnerForTests(); // default timings, name counter back to 0

// How many watcher threads this process created (at most one).
int watcherThreadsCreated();

// Empties the USB list. The watcher thread, once started, runs until the process ends.
void resetUsbListForTests();

// Returns the bridge's own process-wide state (the USB list, the runner's timings and name
// counter) to its load-time value. The device table belongs to core.
void resetBridgeForTests();

} // namespace zentro::bridge
