// A read-only look at the adb server before the library talks to it, so the host can refuse
// with advice (no adb, a server of another version) instead of letting adb restart things.
#pragma once

#include <string>
#include <vector>

namespace zentro::cli {

struct AdbDevice {
    std::string serial;
    std::string state;
};

struct AdbServerView {
    bool running = false;
    int version = 0; // the server's protocol version, e.g. 41
    std::vector<AdbDevice> devices;
};

// The port adb clients use: ANDROID_ADB_SERVER_PORT, else 5037.
int adbServerPort();

// Asks the server on 127.0.0.1 for its version and device list; running=false when no server
// answers.
AdbServerView queryAdbServer();

// Parses the body of a host:devices answer ("serial\tstate\n" lines).
std::vector<AdbDevice> parseDeviceLines(const std::string& body);

// The folder of this program; the library runs adb from there.
std::string programFolder();

// The version of the adb client beside this program (41 for "version 1.0.41"); 0 when it
// cannot be run or read.
int adbClientVersion();

} // namespace zentro::cli
