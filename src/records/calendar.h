// The calendar list: CalenderRecord nodes in reply order. Refreshed one page at a time only.
#pragma once

#include <cstdint>

#include "records/record_list.h"
#include "zentrolink.h"

namespace zentro::records {

RecordList<CalenderRecord>& calendarList();

// Stores the head through `out`; 0 whatever the list holds (the calendar has no count), -1 for
// a null `out`.
int32_t handOutCalendar(CalenderRecord** out);

} // namespace zentro::records
