// Detection of phones through adb and the device information handed to the host.
#pragma once

#include <cstdint>

#include "zentrolink.h"

namespace zentro::bridge {

// Refreshes the adb rows from "devices" and, for a usable phone, reads its properties.
// 0 usable; -1 list unreadable or the phone in another state; -2 offline (adb server
// restarted); -5 no phone at the index (restarted). Indexes below 0 are refused with -1.
int32_t detectDevice(int32_t deviceIndex);

// Zeroes *info and copies brand, serial, model and release of the row. 0, or -1 outside 0..8.
int32_t fillDeviceInfo(DeviceInfoRecord* info, int32_t deviceIndex);

// Takes a screenshot on the phone and pulls it to `pcPath`. Always 0.
int32_t takeScreenshot(const char* pcPath, int32_t deviceIndex);

// 0 when rows 0 and 1 hold exactly these serials, else -1.
int32_t rowsHoldSerials(const char* serial0, const char* serial1);

} // namespace zentro::bridge
