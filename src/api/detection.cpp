// Exports of detection, device information and the USB watcher. The watcher family asks
// detection again through the export itself, so every such call logs as the host's own would.
#include "bridge/detection.h"
#include "api/guard.h"
#include "bridge/usb_watcher.h"
#include "core/log.h"
#include "zentrolink.h"

using namespace zentro;
using api::guarded;

extern "C" {

ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckDeviceDetected(int32_t deviceIndex) {
    return guarded(-1, [&] {
        core::logCall("Zentro_CheckDeviceDetected");
        return bridge::detectDevice(deviceIndex);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetAndroidDevicesInfo(DeviceInfoRecord* info, int32_t deviceIndex) {
    return guarded(-1, [&] {
        core::logCall("Zentro_GetAndroidDevicesInfo");
        return bridge::fillDeviceInfo(info, deviceIndex);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetAndroidDevicesScreenCap(const char* pcPath, int32_t deviceIndex) {
    return guarded(-1, [&] { return bridge::takeScreenshot(pcPath, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckDevicesID(const char* serial0, const char* serial1) {
    return guarded(-1, [&] { return bridge::rowsHoldSerials(serial0, serial1); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckConnectDeviceToPC_Count(void) {
    return guarded(-1, [] { return bridge::countConnectedPhones(); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_installAndroidDrivertoPC(void) {
    return guarded(-1, [] {
        core::logCall("Zentro_installAndroidDrivertoPC");
        if (bridge::enumerateUsbPhones() < 1) return -1;
        if (Zentro_CheckDeviceDetected(0) != 0) bridge::runDriverInstaller();
        return Zentro_CheckDeviceDetected(0);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckEnableUSBDebug(int32_t usbIndex) {
    return guarded(-1, [&] {
        core::logCall("Zentro_CheckEnableUSBDebug");
        return bridge::usbPhoneNeedsDetection(usbIndex) ? Zentro_CheckDeviceDetected(usbIndex) : 0;
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckOpenDebugType(int32_t usbIndex) {
    return guarded(1, [&] { return bridge::debugTypeAt(usbIndex); });
}

} // extern "C"
