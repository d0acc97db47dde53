// The USB watcher: counts phones on the USB bus and reports arrivals and removals to the host.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "bridge/usb_ids.h"

namespace zentro::bridge {

// Starts the watcher thread once per process (later calls return 0 at once). 0 or -1.
int startUsbWatcher();

// The start rule on its own: nothing when `started` is set; else `create` the thread, a second
// time if the first fails, and log the failure when both fail.
int startWatcherOnce(std::atomic<bool>& started, bool (*create)());

// Rebuilds the USB list from the identifiers the system reports now; returns the USB count.
int32_t enumerateUsbPhones();

// A copy of the USB list as the last enumeration left it.
UsbList usbListSnapshot();

// The start rule on its own: nothing when `started` is set; else `create` the thread, a second
// time if the first fails, and log the failure when both fail.
int startWatcherOnce(std::atomic<bool>& started, bool (*create)());

// Rebuilds the USB list from the given identifiers, as an enumeration would.
int32_t setUsbListFromIds(const std::vector<std::string>& ids);

// The exports of the watcher family.
int32_t checkConnectDeviceToPcCount();
int32_t installAndroidDriverToPc();
int32_t checkEnableUsbDebug(int32_t usbIndex);
int32_t checkOpenDebugType(int32_t usbIndex);

// How many watcher threads this process created (at most one).
int watcherThreadsCreated();

// Empties the USB list. The watcher thread, once started, runs until the process ends.
void resetUsbListForTests();

} // namespace zentro::bridge
