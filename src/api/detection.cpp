// Exports of detection and device information: thin wrappers that keep exceptions inside.
#include "api/guard.h"
#include "bridge/detection.h"
#include "bridge/usb_watcher.h"
#include "zentrolink.h"

using zentro::api::guarded;

extern "C" {

ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckDeviceDetected(int32_t deviceIndex) {
    return guarded(-1, [&] { return zentro::bridge::checkDeviceDetected(deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetAndroidDevicesInfo(DeviceInfoRecord* info, int32_t deviceIndex) {
    return guarded(-1, [&] { return zentro::bridge::getAndroidDevicesInfo(info, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetAndroidDevicesScreenCap(const char* pcPath, int32_t deviceIndex) {
    return guarded(-1, [&] { return zentro::bridge::getAndroidDevicesScreenCap(pcPath, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckDevicesID(const char* serial0, const char* serial1) {
    return guarded(-1, [&] { return zentro::bridge::checkDevicesId(serial0, serial1); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckConnectDeviceToPC_Count(void) {
    return guarded(-1, [] { return zentro::bridge::checkConnectDeviceToPcCount(); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_installAndroidDrivertoPC(void) {
    return guarded(-1, [] { return zentro::bridge::installAndroidDriverToPc(); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckEnableUSBDebug(int32_t usbIndex) {
    return guarded(-1, [&] { return zentro::bridge::checkEnableUsbDebug(usbIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckOpenDebugType(int32_t usbIndex) {
    return guarded(-1, [&] { return zentro::bridge::checkOpenDebugType(usbIndex); });
}

} // extern "C"
