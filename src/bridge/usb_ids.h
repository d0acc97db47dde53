// USB phones as the system's device instance identifiers describe them, and the tables that
// tell which devices are phones. Pure: no I/O.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zentro::bridge {

constexpr int kMaxUsbPhones = 10;

struct UsbPhone {
    uint32_t vendorId;
    uint32_t productId;
    int8_t debugFlag; // 0: some instance showed the debugging interface ("&ADB"); -1: none did
};

// Entries past `count` keep what an earlier enumeration left there.
struct UsbList {
    UsbPhone entries[kMaxUsbPhones];
    int32_t count;
};

struct KnownPhone {
    uint32_t vendorId;
    uint32_t productId;
    const char* label;
};

// Phones by maker; the closing "End" row takes part in lookups like the others.
extern const KnownPhone kKnownPhones[24];
// Phones whose debugging is switched on the second way.
extern const KnownPhone kSecondDebugWay[4];

// Reads one identifier such as "USB\VID_04E8&PID_6860&ADB\0001" into the list: a phone of a
// known maker is appended (at most ten), a repeated VID/PID only lowers its debug flag to 0.
// Anything that is not a complete USB identifier is ignored.
void readInstanceId(const char* id, UsbList& list);

// Starts the list afresh (count 0, older entries kept) and reads every identifier that begins
// with "USB". Returns the new count.
int32_t readInstanceIds(const std::vector<std::string>& ids, UsbList& list);

// 2 when the phone is one of the second debugging way, else 1.
int32_t debugTypeOf(const UsbPhone& phone);

} // namespace zentro::bridge
