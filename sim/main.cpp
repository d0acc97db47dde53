// zentro-phone: a virtual phone (or several) behind an adb server, for tests and for trying
// the library without hardware. Prints one line "ready adb-port=<port> control-port=<port>"
// and serves until killed or until its standard input closes, so a test that dies leaves no
// server behind.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "adb/device_list.h"
#include "adb/server.h"
#include "control.h"
#include "scenario.h"

namespace {

const char kUsage[] =
    "usage: zentro-phone [--adb-port <port>] [--control-port <port>] [--devices <n>] [--seed <n>]\n"
    "                    [--scenario <file.json>] [--wifi-join <pc-ip>:<port>] [--help]\n"
    "\n"
    "Serves virtual phones to the adb client (point it here with ANDROID_ADB_SERVER_PORT).\n"
    "Port 0 (the default) picks a free port; both ports are printed in the ready line:\n"
    "  ready adb-port=<port> control-port=<port>\n"
    "Default phones: --devices of them (2), properties and files from --seed (7).\n"
    "--wifi-join makes the phones marked \"wifiJoin\" in the scenario (else the first phone)\n"
    "join that pairing server. Stops when standard input closes.\n";

bool parseNumber(const std::string& text, long lo, long hi, long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && errno == 0 && *end == '\0' && out >= lo && out <= hi;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "zentro-phone: %s\n%s", message.c_str(), kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);

    long adbPort = 0, controlPort = 0, deviceCount = 2, seed = 7;
    std::string scenarioFile, wifiJoin;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= argc) return usageError("missing value after " + arg);
        const std::string value = argv[++i];
        bool ok = true;
        if (arg == "--adb-port")
            ok = parseNumber(value, 0, 65535, adbPort);
        else if (arg == "--control-port")
            ok = parseNumber(value, 0, 65535, controlPort);
        else if (arg == "--devices")
            ok = parseNumber(value, 0, 100, deviceCount);
        else if (arg == "--seed")
            ok = parseNumber(value, 0, 4294967295L, seed);
        else if (arg == "--scenario")
            scenarioFile = value;
        else if (arg == "--wifi-join")
            wifiJoin = value;
        else
            return usageError("unknown option " + arg);
        if (!ok) return usageError("bad value for " + arg + ": " + value);
    }

    std::string scenarioText;
    if (!scenarioFile.empty()) {
        std::ifstream in(scenarioFile, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "zentro-phone: cannot read %s\n", scenarioFile.c_str());
            return 1;
        }
        std::ostringstream text;
        text << in.rdbuf();
        scenarioText = text.str();
    }
    zsim::Scenario scenario;
    std::string error;
    if (!zsim::loadScenario(scenarioText, static_cast<int>(deviceCount), static_cast<uint32_t>(seed),
                            scenario, error)) {
        std::fprintf(stderr, "zentro-phone: scenario: %s\n", error.c_str());
        return 1;
    }

    auto devices = std::make_shared<zsim::adb::DeviceList>();
    for (const auto& d : scenario.devices) devices->add(d);

    zsim::adb::AdbServer adb(devices, scenario.adbServerVersion);
    int boundAdb = adb.start(static_cast<int>(adbPort), &error);
    if (boundAdb < 0) {
        std::fprintf(stderr, "zentro-phone: adb port %ld: %s\n", adbPort, error.c_str());
        return 1;
    }
    zsim::ControlServer control(devices, adb);
    int boundControl = control.start(static_cast<int>(controlPort), &error);
    if (boundControl < 0) {
        std::fprintf(stderr, "zentro-phone: control port %ld: %s\n", controlPort, error.c_str());
        return 1;
    }
    std::printf("ready adb-port=%d control-port=%d\n", boundAdb, boundControl);
    std::fflush(stdout);

    if (!wifiJoin.empty()) {
        std::vector<std::string> joiners = scenario.wifiJoiners;
        if (joiners.empty() && !scenario.devices.empty()) joiners.push_back(scenario.devices.front()->serial);
        for (const auto& serial : joiners) {
            std::string reply = control.handle("wifi-join " + serial + " " + wifiJoin);
            if (reply != "ok\n") std::fprintf(stderr, "zentro-phone: %s: %s", serial.c_str(), reply.c_str());
        }
    }

    // Serve until standard input ends; the threads need no orderly stop when the process goes.
    char buffer[256];
    for (;;) {
        ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got == 0 || (got < 0 && errno != EINTR)) break;
    }
    std::fflush(stdout);
    std::_Exit(0);
}
