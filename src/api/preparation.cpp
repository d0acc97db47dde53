// Exports of phone preparation and the connection test.
#include "zentrolink.h"

#include "api/guard.h"
#include "link/companion_bootstrap.h"

using namespace zentro;

extern "C" {

ZENTRO_API int32_t ZENTRO_CALL Zentro_ReadyTodoing(int32_t deviceIndex) {
    return api::guarded(-1, [&] { return link::preparePhone(deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckDevicesIsConnect(int32_t deviceIndex) {
    return api::guarded(-1, [&] { return link::checkIsConnectToOursAndroidServices(deviceIndex); });
}

} // extern "C"
