// Exports of the library frame: start-up, shut-down, callbacks, progress, capabilities and the
// retired operations that do nothing.
#include "zentrolink.h"

#include "api/guard.h"
#include "api/lifecycle.h"
#include "core/state.h"

using namespace zentro;

extern "C" {

ZENTRO_API int32_t ZENTRO_CALL Zentro_Init(void) {
    return api::guarded(0, [] { return api::initLibrary(); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_UnInit(void) {
    return api::guarded(0, [] { return api::uninitLibrary(); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_SetUSBCallBack(ZentroCallback callback) {
    core::setUsbCallback(callback);
    return 0;
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_SetWiFiConnectCallBack(ZentroCallback callback) {
    core::setWifiCallback(callback);
    return 0;
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetReadyTodoProgress(void) { return core::readyProgress().load(); }

ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckSupportEnabled(int32_t feature) {
    return feature >= 0 && feature <= 6 ? 0 : -1;
}

// One body under eleven names: hosts may pass any arguments; cdecl lets the caller remove them.
// The header cannot promise nothrow to C hosts, so the aliases carry less than their target.
#pragma GCC diagnostic ignored "-Wmissing-attributes"
int32_t ZENTRO_CALL zentro_do_nothing(void) { return 0; }

#define ZENTRO_DO_NOTHING(name)                                                                              \
    ZENTRO_API int32_t ZENTRO_CALL name(void) __attribute__((alias("zentro_do_nothing")))

ZENTRO_DO_NOTHING(Zentro_ClearAllApp);
ZENTRO_DO_NOTHING(Zentro_DeleteCalender);
ZENTRO_DO_NOTHING(Zentro_DeleteCallHistory);
ZENTRO_DO_NOTHING(Zentro_DeletePerson);
ZENTRO_DO_NOTHING(Zentro_DeletePersonImage);
ZENTRO_DO_NOTHING(Zentro_DeleteSMS);
ZENTRO_DO_NOTHING(Zentro_GetOnePersonInfo);
ZENTRO_DO_NOTHING(Zentro_GetPersonImage);
ZENTRO_DO_NOTHING(Zentro_UpdateCallHistory);
ZENTRO_DO_NOTHING(Zentro_UpdatePersonImage);
ZENTRO_DO_NOTHING(Zentro_UpdateSMS);

} // extern "C"
