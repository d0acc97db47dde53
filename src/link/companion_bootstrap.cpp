#include "link/companion_bootstrap.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "bridge/adb_runner.h"
#include "core/log.h"
#include "core/state.h"
#include "link/command_channel.h"
#include "platform/files.h"

namespace zentro::link {
namespace {

const char* serialOf(int32_t deviceIndex) {
    const core::DeviceEntry* row = core::deviceRow(deviceIndex);
    return row != nullptr ? row->serial : "";
}

void setProgress(int32_t value) { core::readyProgress().store(value); }

} // namespace

int forceStopCompanion(int32_t deviceIndex) {
    if (!bridge::plainAdbWord(serialOf(deviceIndex), "serial of force-stop")) return -1;
    char args[bridge::kCommandLineSize];
    std::snprintf(args, sizeof args, "-s %s shell am force-stop %s", serialOf(deviceIndex),
                  kCompanionPackage);
    return bridge::runAdbBounded(args);
}

int removeOldPackages(int32_t deviceIndex) {
    if (!bridge::plainAdbWord(serialOf(deviceIndex), "serial of uninstall")) return -1;
    char args[bridge::kCommandLineSize];
    std::snprintf(args, sizeof args, "-s %s uninstall %s", serialOf(deviceIndex), kOldCompanionPackage);
    bridge::runAdbBounded(args);
    std::snprintf(args, sizeof args, "-s %s uninstall %s", serialOf(deviceIndex), kCompanionPackage);
    return bridge::runAdbBounded(args);
}

int installCompanion(int32_t deviceIndex) {
    const std::string packageFile = platform::hostFolder() + platform::kPathSeparator + kCompanionPackageFile;
    if (!bridge::plainAdbWord(serialOf(deviceIndex), "serial of install") ||
        !bridge::quotableAdbText(packageFile.c_str(), "companion package path")) {
        return -1;
    }
    char args[bridge::kCommandLineSize];
    std::snprintf(args, sizeof args, "-s %s install \"%s\"", serialOf(deviceIndex), packageFile.c_str());
    return bridge::runAdb(args);
}

int startCompanion(int32_t deviceIndex) {
    if (!bridge::plainAdbWord(serialOf(deviceIndex), "serial of am start")) return -1;
    char args[bridge::kCommandLineSize];
    std::snprintf(args, sizeof args, "-s %s shell am start -n %s/%s", serialOf(deviceIndex),
                  kCompanionPackage, kCompanionActivity);
    return bridge::runAdb(args);
}

int checkIsConnectToOursAndroidServices(int32_t deviceIndex) {
    // One byte more than the capacity, so a full-length reply still reads as terminated text.
    char reply[1024 + 1] = {};
    int received = sendCommand(kHandshakeCommand, reply, 1024, nullptr, 0, deviceIndex);
    if (received < 1) return -1;
    return std::strcmp(reply, kHandshakeReply) == 0 ? 0 : -1;
}

void sendStartNotice(int32_t deviceIndex) {
    const int32_t count = core::state().connectAndroidCount;
    if (count <= 0 || deviceIndex >= count) return;
    char reply[4] = {};
    sendCommand(kUsbStartNotice, reply, sizeof reply, nullptr, 0, deviceIndex);
}

int preparePhone(int32_t deviceIndex) {
    const core::DeviceEntry* row = core::deviceRow(deviceIndex);
    // The preparation's log lines are read by hosts' support staff: keep their texts.
    core::log(0, "ReadyTodoing: deviceindex=%d,id=%s ,%s\n", deviceIndex, row != nullptr ? row->serial : "",
              row != nullptr ? row->state : "");
    if (row == nullptr) return -1; // no such row: refuse before touching anything
    setProgress(10);

    if (row->connectionKind == core::kConnectionWifi) {
        // The companion already runs on a phone that joined over WiFi.
        if (checkIsConnectToOursAndroidServices(deviceIndex) == 0) return 0;
        core::log(0, "checkIsConnectToOursAndroidServices wifi failed.\n");
        return -1;
    }

    // The next exchange must connect afresh, which forwards the port again.
    closeChannel(deviceIndex);

    int result = forceStopCompanion(deviceIndex);
    setProgress(20);
    if (result != 0) return -1;

    result = removeOldPackages(deviceIndex);
    setProgress(30);
    if (result != 0) return -1;

    result = installCompanion(deviceIndex);
    setProgress(50);
    if (result != 0) return -1;

    if (startCompanion(deviceIndex) != 0) return -1;
    setProgress(70);

    if (checkIsConnectToOursAndroidServices(deviceIndex) != 0) {
        core::log(0, "checkIsConnectToOursAndroidServices failed.\n");
        return -1;
    }
    setProgress(100);
    sendStartNotice(deviceIndex);
    return 0;
}

} // namespace zentro::link
