// Seams for the test programs only: nothing in the product calls these.
#pragma once

#include <cstdint>

#include "link/command_channel.h"
#include "platform/socket.h"

namespace zentro::link {

// Waits and ports of the command channel; tests shorten and move them.
struct LinkTimings {
    int idleReadSleepMs = 1000; // after a receive that found the phone's side closed
    int forwardSleepMs = 300;   // after each of the two forwarding runs
    void (*sleepMs)(int milliseconds) = nullptr; // null: the platform's sleep
    platform::ClientOptions socket;
    uint16_t usbLocalPortBase = kUsbLocalPortBase;
};
void setLinkTimingsForTests(const LinkTimings& timings);

// Closes both channels and restores the default timings.
void resetLinkForTests();

} // namespace zentro::link
