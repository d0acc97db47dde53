// Exports of the applications family.
#include "zentrolink.h"

#include "api/guard.h"
#include "apps/applications.h"

using namespace zentro;

extern "C" {

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushDevicesApp(int32_t deviceIndex) {
    return api::guarded(0, [&] { return apps::refreshAppList(deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetAppCount(int32_t deviceIndex) {
    return api::guarded(0, [&] { return apps::appCount(deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetAppInfo(AppInfoRecord* info, int32_t index, int32_t deviceIndex) {
    return api::guarded(-1, [&] { return apps::appInfo(info, index, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_InstallAppToMemory(const char* packagePath, int32_t mode,
                                                         int32_t deviceIndex) {
    return api::guarded(-1, [&] { return apps::installPackage(packagePath, mode, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_UnInstallApp(const char* packageName, int32_t mode,
                                                   int32_t deviceIndex) {
    return api::guarded(-1, [&] { return apps::uninstallPackage(packageName, mode, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_ExportApp(const char* packageName, const char* outputPath,
                                                int32_t deviceIndex) {
    return api::guarded(-1, [&] { return apps::exportPackage(packageName, outputPath, deviceIndex); });
}

// One body under both names; no argument is read (cdecl: the caller removes them).
#pragma GCC diagnostic ignored "-Wmissing-attributes"
int32_t ZENTRO_CALL zentro_move_app(void) { return apps::moveApp(); }

ZENTRO_API int32_t ZENTRO_CALL Zentro_MoveAppToMemory(void) __attribute__((alias("zentro_move_app")));
ZENTRO_API int32_t ZENTRO_CALL Zentro_MoveAppToSdCard(void) __attribute__((alias("zentro_move_app")));

} // extern "C"
