// The companion app of a virtual phone as a network peer: per-device state, the connection
// loop with its faults, and the WiFi join. serveDevicePort and startWifiJoin (device.h) are
// the entry points the adb front and the executable use.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "companion/commands.h"
#include "device.h"

namespace zsim::companion {

inline constexpr int kCommandPortA = 20148;
inline constexpr int kCommandPortB = 20149;

// The companion of this device, made on first use and kept while the device lives.
std::shared_ptr<CompanionState> stateOf(const std::shared_ptr<Device>& device);

// Serves one connection until the peer closes it, the companion stops, or the peer breaks the
// framing. Logs every command on the device. Does not close `fd`.
void serveConnection(Device& device, CompanionState& state, int fd);

// The text a phone reads from the pairing QR code: "PC_SERVERIP:<address>:<port>".
struct PairingTarget {
    std::string address;
    int port = 0;
};
std::optional<PairingTarget> parsePairingText(std::string_view text);

// The registration message sent to the PC's pairing server.
std::string registerMessage(const std::string& serial, int port);

} // namespace zsim::companion
