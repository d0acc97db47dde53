#include "bridge/detection.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "bridge/adb_runner.h"
#include "bridge/device_list.h"
#include "bridge/device_properties.h"
#include "core/log.h"
#include "core/state.h"

namespace zentro::bridge {
namespace {

// adb's device list fits in this; more is not a device list.
constexpr size_t kMaxDeviceListBytes = 2048;
// The log names this module and line after reading properties; hosts' logs are compared
// against that text, so both stay.
constexpr const char* kMainSourceName = "zentroclient";
constexpr int kPropertiesReadLine = 1053;

void clearProperties(core::DeviceEntry& row) {
    std::memset(row.brand, 0, sizeof row.brand);
    std::memset(row.model, 0, sizeof row.model);
    std::memset(row.androidVersion, 0, sizeof row.androidVersion);
    std::memset(row.versionText, 0, sizeof row.versionText);
    std::memset(row.buildPda, 0, sizeof row.buildPda);
}

void restartAdbServer() {
    runAdbBounded("kill-server");
    runAdbBounded("start-server");
}

} // namespace

int32_t detectDevice(int32_t deviceIndex) {
    if (deviceIndex < 0) return -1;
    core::LibraryState& st = core::state();
    clearAdbRows(st);

    std::string list;
    if (captureAdbOutput("devices", kMaxDeviceListBytes, false, list) != CaptureResult::Read) return -1;
    parseDeviceList(list.c_str(), st);

    int32_t result = -1;
    // The count starts at the WiFi count, which is never lowered and may pass the ten rows.
    if (deviceIndex < st.connectAndroidCount && deviceIndex < core::kMaxDevices) {
        core::DeviceEntry& row = st.devices[deviceIndex];
        if (row.connectionKind == core::kConnectionWifi || row.port >= 1) return 0;
        if (std::strcmp(row.state, "device") == 0) {
            clearProperties(row);
            if (!readDeviceProperties(deviceIndex)) return -1;
            core::log(0, "File: %s  %d\n", kMainSourceName, kPropertiesReadLine);
            return 0;
        }
        if (std::strcmp(row.state, "offline") == 0) result = -2;
    }
    core::log(0, "CheckDeviceDetected  return ret = %d", result); // host-visible, no line end

    const bool noPhoneHere = st.connectAndroidCount <= deviceIndex;
    if (result == -2 || st.connectAndroidCount <= 0 || noPhoneHere) {
        restartAdbServer();
        if (result != -2 && noPhoneHere) return -5;
    }
    return result;
}

int32_t fillDeviceInfo(DeviceInfoRecord* info, int32_t deviceIndex) {
    if (info == nullptr) return -1;
    std::memset(info, 0, sizeof *info);
    if (deviceIndex < 0 || deviceIndex > 8) return -1;
    const core::DeviceEntry& row = core::state().devices[deviceIndex];
    core::copyText(info->brand, sizeof info->brand, row.brand);
    core::copyText(info->serial, sizeof info->serial, row.serial);
    core::copyText(info->model, sizeof info->model, row.model);
    core::copyText(info->androidVersion, sizeof info->androidVersion, row.androidVersion);
    return 0;
}

int32_t takeScreenshot(const char* pcPath, int32_t deviceIndex) {
    const core::DeviceEntry* row = core::deviceRow(deviceIndex);
    if (row == nullptr || pcPath == nullptr) return 0; // nothing to reach; failures give 0
    if (!plainAdbWord(row->serial, "serial of screenshot") || !quotableAdbText(pcPath, "screenshot path")) {
        return 0;
    }
    char args[kCommandLineSize];
    std::snprintf(args, sizeof args, "-s %s shell /system/bin/screencap -p /sdcard/screenshot.png",
                  row->serial);
    runAdb(args);
    std::snprintf(args, sizeof args, "-s %s pull /sdcard/screenshot.png \"%s\" ", row->serial, pcPath);
    runAdb(args);
    return 0;
}

int32_t rowsHoldSerials(const char* serial0, const char* serial1) {
    if (serial0 == nullptr || serial1 == nullptr) return -1;
    const core::LibraryState& st = core::state();
    return std::strcmp(st.devices[0].serial, serial0) == 0 && std::strcmp(st.devices[1].serial, serial1) == 0
               ? 0
               : -1;
}

} // namespace zentro::bridge
