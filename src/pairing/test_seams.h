// Seams for the test programs only: nothing in the product calls these, and only test builds
// (ZENTRO_TESTING) compile them.
#pragma once

#ifndef ZENTRO_TESTING
#error "test seams are compiled into test builds only"
#endif

#include <cstdint>

#include "pairing/pairing_message.h"

namespace zentro::pairing {

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

} // namespace zentro::pairing
