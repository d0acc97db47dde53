#include "records/test_seams.h"

#include "records/bulk_refresh.h"
#include "records/calendar.h"
#include "records/call_log.h"
#include "records/contacts.h"
#include "records/messages.h"

namespace zentro::records {

void resetRecordsForTests() {
    messageList().clear();
    callLogList().clear();
    calendarList().clear();
    contactList().clear();
    for (BulkProgress* progress : {&messageBulkProgress(), &callLogBulkProgress(), &contactBulkProgress()}) {
        progress->total.store(0);
        progress->offset.store(0);
    }
    resetBulkAbort();
}

} // namespace zentro::records
