// Exports that act on the phone's messages, call log and calendar.
#include "zentrolink.h"

#include "api/guard.h"
#include "core/log.h"
#include "records/record_actions.h"

using namespace zentro;

extern "C" {

ZENTRO_API int32_t ZENTRO_CALL Zentro_SendSMS(SmsRecord* message, int32_t deviceIndex) {
    return api::guarded(-1, [&] {
        core::logCall("Zentro_SendSMS");
        return records::sendSms(message, deviceIndex);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_ClearSMS(int32_t deviceIndex) {
    return api::guarded(-1, [&] {
        core::logCall("Zentro_ClearSMS");
        return records::clearSms(deviceIndex);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckAndroidVersionAt44(int32_t deviceIndex) {
    return api::guarded(0, [&] { return records::androidVersionAt44(deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_SetDefaultMessage(int32_t deviceIndex) {
    return api::guarded(-1, [&] {
        core::logCall("Zentro_SetDefaultMessage");
        return records::setDefaultMessaging(deviceIndex);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_ReSetDefaultMessage(int32_t deviceIndex) {
    return api::guarded(-1, [&] {
        core::logCall("Zentro_ReSetDefaultMessage");
        return records::resetDefaultMessaging(deviceIndex);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckDefaultMessangeOK(int32_t deviceIndex) {
    return api::guarded(-1, [&] {
        core::logCall("Zentro_CheckDefaultMessangeOK");
        return records::checkDefaultMessaging(deviceIndex);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_ClearCallHistory(int32_t deviceIndex) {
    return api::guarded(-1, [&] { return records::clearCallLog(deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_AddCallHistory(CallHistoryRecord* call, int32_t deviceIndex) {
    return api::guarded(-1, [&] {
        core::logCall("Zentro_AddCallHistory");
        return records::addCall(call, deviceIndex);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_ClearCalender(int32_t deviceIndex) {
    return api::guarded(-1, [&] { return records::clearCalendar(deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_AddCalender(CalenderRecord* event, int32_t deviceIndex) {
    return api::guarded(-1, [&] {
        core::logCall("Zentro_AddCalender");
        return records::addEvent(event, deviceIndex);
    });
}

} // extern "C"
