// Seams for the test programs only: nothing in the product calls these.
#pragma once

#include <cstdint>

#include "link/command_channel.h"
#include "link/pairing_message.h"
#include "platform/socket.h"

namespace zentro::link {

// Waits and ports of the command channel; tests shorten and move them.
struct LinkTimings {
    int idleReadSleepMs = 1000;                  // after a receive that found the phone's side closed
    int forwardSleepMs = 300;                    // after each of the two forwarding runs
    void (*sleepMs)(int milliseconds) = nullptr; // null: the platform's sleep
    platform::ClientOptions socket;
    uint16_t usbLocalPortBase = kUsbLocalPortBase;
};
void setLinkTimingsForTests(const LinkTimings& timings);

// Closes both channels and restores the default timings.
void resetLinkForTests();

// Where the pairing server listens: tests keep it on a loopback address and may move its first
// port. Takes effect at the next start.
struct PairingOptions {
    const char* serverAddress = nullptr; // null: the host name's first IPv4 address
    uint16_t firstPort = kPairingPort;
};
void setPairingOptionsForTests(const PairingOptions& options);

// The running server, or null before the first QR image request.
class TCPServer;
TCPServer* pairingServerForTests();

// Stops the pairing server (thread, listening and client sockets) and forgets it, so the next
// QR image request starts a new one; restores the default options.
void resetPairingForTests();

} // namespace zentro::link
