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

// Rebuilds the USB list from the identifiers the system reports now; returns the USB count.
int32_t enumerateUsbPhones();

// Rebuilds the USB list from the given identifiers, as an enumeration would.
int32_t setUsbListFromIds(const std::vector<std::string>& ids);

// The watcher's start rule on its own: nothing when `started` is set; else `create` the
// thread, a second time if the first fails, and log the failure when both fail.
int startWatcherOnce(std::atomic<bool>& started, bool (*create)());

// A copy of the USB list as the last enumeration left it.
UsbList usbListSnapshot();

// USB phones present now plus the phones that joined over WiFi; forgets the remembered
// serials when there are none. Logs the count line.
int32_t countConnectedPhones();

// Whether the USB phone at `usbIndex` of the last enumeration shows its debugging interface
// flag (then detection decides); false outside the list.
bool usbPhoneNeedsDetection(int32_t usbIndex);

// 2 when the phone at `usbIndex` of the last enumeration enables debugging the second way,
// else 1 (also outside 0..9).
int32_t debugTypeAt(int32_t usbIndex);

// The driver installer beside the host, run through the command interpreter.
int runDriverInstaller();

} // namespace zentro::bridge
