// The library session of one zentro run: start-up, choosing the phone, preparing it.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "adb_server.h"
#include "cli.h"
#include "zentrolink.h"

namespace zentro::cli {
namespace {

bool g_started = false;

std::string adbAdvice() {
    return "make sure '" + programFolder() + "/adb' exists (scripts/setup-deps installs adb)";
}

} // namespace

Options& options() {
    static Options instance;
    return instance;
}

std::string logLocation() {
    const char* documents = std::getenv("XDG_DOCUMENTS_DIR");
    if (documents != nullptr && documents[0] != '\0')
        return std::string(documents) + "/LogFiles/zentrolink.log";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "~") + "/Documents/LogFiles/zentrolink.log";
}

void startLibrary() {
    if (g_started) return;
    g_started = true;
    // The library prints its work-folder clean-up on standard output; that is not ours to show.
    std::fflush(stdout);
    int saved = ::dup(1);
    int sink = options().verbose ? ::dup(2) : ::open("/dev/null", O_WRONLY);
    if (saved >= 0 && sink >= 0) ::dup2(sink, 1);
    Zentro_Init();
    std::fflush(stdout);
    if (saved >= 0) {
        ::dup2(saved, 1);
        ::close(saved);
    }
    if (sink >= 0) ::close(sink);
    if (options().verbose) std::fprintf(stderr, "log: %s\n", logLocation().c_str());
}

void requirePhone() {
    if (::access((programFolder() + "/adb").c_str(), X_OK) != 0) {
        throw Failure("adb is missing beside this program: " + adbAdvice());
    }
    const int index = options().device;
    AdbServerView server = queryAdbServer();
    if (server.running) {
        const int client = adbClientVersion();
        if (client != 0 && server.version != 0 && client != server.version) {
            throw Failure("an adb server of another version (" + std::to_string(server.version) +
                          ", this adb is " + std::to_string(client) + ") runs on port " +
                          std::to_string(adbServerPort()) +
                          "; stop it with 'adb kill-server' from the tool that started it, then try again");
        }
        // Asking the library for an index without a phone makes it restart the adb server, which
        // would cut off every other adb user: only ask where a phone is listed.
        if (static_cast<size_t>(index) >= server.devices.size()) {
            throw Failure(server.devices.empty()
                              ? "no phone found: connect one by USB with USB debugging on"
                              : "no phone at index " + std::to_string(index) + " (" +
                                    std::to_string(server.devices.size()) + " listed; see 'zentro devices')");
        }
    }
    startLibrary();
    const int status = Zentro_CheckDeviceDetected(index);
    if (status == -5)
        throw Failure("no phone found at index " + std::to_string(index) +
                      ": connect one by USB with USB debugging on");
    if (status == -2) throw Failure("the phone is offline: unplug it and plug it in again");
    if (status != 0)
        throw Failure("the phone is not usable: unlock it and allow USB debugging for this computer");
}

void requirePreparedPhone() {
    requirePhone();
    if (Zentro_CheckDevicesIsConnect(options().device) != 0) {
        throw Failure("the phone is not prepared: run 'zentro prepare" +
                      (options().device != 0 ? " -d " + std::to_string(options().device) : std::string()) +
                      "' first");
    }
}

} // namespace zentro::cli
