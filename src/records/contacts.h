// The contact list: PersonRecord nodes, newest page ahead, each page in reverse reply order.
#pragma once

#include <cstdint>

#include "records/bulk_refresh.h"
#include "records/record_list.h"
#include "zentrolink.h"

namespace zentro::records {

RecordList<PersonRecord>& contactList();
BulkProgress& contactBulkProgress();

// Frees the list and reloads every contact from device 0.
int32_t refreshAllContacts();

} // namespace zentro::records
