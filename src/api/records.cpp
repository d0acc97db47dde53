// Exports of the record lists (messages, call log, calendar, contacts) and their bulk refresh.
#include "zentrolink.h"

#include "api/guard.h"
#include "core/log.h"
#include "records/bulk_refresh.h"
#include "records/calendar.h"
#include "records/call_log.h"
#include "records/contacts.h"
#include "records/date_sort.h"
#include "records/grouping.h"
#include "records/messages.h"

using namespace zentro;
using api::guarded;

extern "C" {

// ---- messages -------------------------------------------------------------------------------

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushSMS_Count(int32_t deviceIndex) {
    return guarded(-1, [&] { return records::messageList().queryCount(deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushSMS(int32_t deviceIndex, int32_t startOffset) {
    return guarded(0, [&] {
        core::logCall("Zentro_FlushSMS");
        return records::messageList().replaceWithPage(deviceIndex, startOffset);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushSMS_Not_ClearList(int32_t deviceIndex, int32_t startOffset) {
    return guarded(0, [&] { return records::messageList().appendPage(deviceIndex, startOffset); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushSMS_Only_ClearList(void) {
    return guarded(0, [] {
        records::messageList().clear();
        return 0;
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetSMS(SmsRecord** head) {
    return guarded(-1, [&] {
        core::logCall("Zentro_GetSMS");
        return records::messageList().handOut(head);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetSMSSort(SmsRecord** head, int32_t order) {
    return guarded(-1, [&] {
        core::logCall("Zentro_GetSMSSort");
        if (head == nullptr) return -1;
        records::sortMessagesByDate(records::messageList().head(), order);
        return records::messageList().handOut(head);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetSMSTempGroup(SmsTempGroup** head) {
    return guarded(-1, [&] {
        if (head == nullptr) return -1;
        *head = records::rebuildMessageGroups(records::messageList().head());
        return 0;
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushSMSAll(int32_t /*unused*/) {
    return guarded(-1, [] { return records::refreshAllMessages(); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushSMSAll_Count(void) {
    return records::messageBulkProgress().total.load();
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushSMSAll_Index(void) {
    return records::messageBulkProgress().offset.load();
}

// ---- call log -------------------------------------------------------------------------------

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushCallLog_Count(int32_t deviceIndex) {
    return guarded(-1, [&] { return records::callLogList().queryCount(deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushCallHistory(int32_t deviceIndex, int32_t startOffset) {
    return guarded(0, [&] {
        core::logCall("Zentro_FlushCallHistory");
        return records::callLogList().replaceWithPage(deviceIndex, startOffset);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushCallHistory_Not_ClearList(int32_t deviceIndex,
                                                                     int32_t startOffset) {
    return guarded(0, [&] {
        core::logCall("Zentro_FlushCallHistory_Not_ClearList");
        return records::callLogList().appendPage(deviceIndex, startOffset);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushCallHistory_Only_ClearList(void) {
    return guarded(0, [] {
        records::callLogList().clear();
        return 0;
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetCallHistory(CallHistoryRecord** head) {
    return guarded(-1, [&] {
        core::logCall("Zentro_GetCallHistory");
        return records::callLogList().handOut(head);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetCallLogTempGroup(CallLogTempGroup** head) {
    return guarded(-1, [&] {
        if (head == nullptr) return -1;
        *head = records::rebuildCallGroups(records::callLogList().head());
        return 0;
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushCallHistoryAll(int32_t /*unused*/) {
    return guarded(-1, [] { return records::refreshAllCalls(); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushCallLogAll_Count(void) {
    return records::callLogBulkProgress().total.load();
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushCallLogAll_Index(void) {
    return records::callLogBulkProgress().offset.load();
}

// ---- calendar -------------------------------------------------------------------------------

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushCalender_Count(int32_t deviceIndex) {
    return guarded(-1, [&] { return records::calendarList().queryCount(deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushCalender(int32_t deviceIndex, int32_t startOffset) {
    return guarded(0, [&] {
        core::logCall("Zentro_FlushCalender");
        return records::calendarList().replaceWithPage(deviceIndex, startOffset);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetCalender(CalenderRecord** head) {
    return guarded(-1, [&] {
        core::logCall("Zentro_GetCalender");
        return records::handOutCalendar(head);
    });
}

// ---- contacts -------------------------------------------------------------------------------

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushContact_Count(int32_t deviceIndex) {
    return guarded(-1, [&] { return records::contactList().queryCount(deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushPerson(int32_t deviceIndex, int32_t startOffset) {
    return guarded(0, [&] {
        core::logCall("Zentro_FlushPerson");
        return records::contactList().replaceWithPage(deviceIndex, startOffset);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetPerson(PersonRecord** head) {
    return guarded(-1, [&] {
        core::logCall("Zentro_GetPerson");
        return records::contactList().handOut(head);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushPersonAll(int32_t /*unused*/) {
    return guarded(-1, [] { return records::refreshAllContacts(); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushContactAll_Count(void) {
    return records::contactBulkProgress().total.load();
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushContactAll_Index(void) {
    return records::contactBulkProgress().offset.load();
}

// ---- bulk refresh abort ---------------------------------------------------------------------

ZENTRO_API int32_t ZENTRO_CALL Zentro_AbortFlushAllDB(void) {
    records::requestBulkAbort();
    return 0;
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_ResetFlushAllDBStatus(void) {
    records::resetBulkAbort();
    return 0;
}

} // extern "C"
