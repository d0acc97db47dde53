// The message list: SmsRecord nodes, newest page ahead, each page in reverse reply order.
#pragma once

#include <cstdint>

#include "records/bulk_refresh.h"
#include "records/record_list.h"
#include "zentrolink.h"

namespace zentro::records {

// The process-wide list; head() and count() are what the host walks (and what sorting and
// conversation grouping work on).
RecordList<SmsRecord>& messageList();
BulkProgress& messageBulkProgress();

// Frees the list and reloads every message from device 0.
int32_t refreshAllMessages();

} // namespace zentro::records
