// The call-log list: CallHistoryRecord nodes in reply order, page after page.
#pragma once

#include <cstdint>

#include "records/bulk_refresh.h"
#include "records/record_list.h"
#include "zentrolink.h"

namespace zentro::records {

// The process-wide list; head() and count() also feed the call grouping.
RecordList<CallHistoryRecord>& callLogList();
BulkProgress& callLogBulkProgress();

// Frees the list and reloads every entry from device 0.
int32_t refreshAllCalls();

} // namespace zentro::records
