// For tests only: return the record lists and bulk-refresh values to their load-time state.
#pragma once

namespace zentro::records {

// Frees every list, zeroes the bulk totals and offsets and clears the abort flag.
void resetRecordsForTests();

} // namespace zentro::records
