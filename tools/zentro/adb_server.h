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

struct AdbForward {
    std::string serial;
    std::string local;  // "tcp:30148"
    std::string remote; // "tcp:20148"
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

// The forwards this server holds (host:list-forward); false when it does not answer.
bool listForwards(std::vector<AdbForward>& forwards);

// Parses the body of a host:devices answer ("serial\tstate\n" lines).
std::vector<AdbDevice> parseDeviceLines(const std::string& body);

// The folder of this program; the library runs adb from there.
std::string programFolder();

// Runs the adb client beside this program with `args` (no shell), its standard output and
// error together into `output`. Its exit status; -1 when it cannot start, 130 when Ctrl-C
// ended it.
int runAdbClient(const std::vector<std::string>& args, std::string& output);

// The version of the adb client beside this program (41 for "version 1.0.41"); 0 when it
// cannot be run or read.
int adbClientVersion();

} // namespace zentro::cli
