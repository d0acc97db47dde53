// Bulk refresh: reload a whole list in one call, page after page, while a second host thread
// polls the total and the offset of the page in flight and may ask the loop to stop. One loop
// serves messages, call log and contacts; the values are atomics because of that second thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "records/record_list.h"

namespace zentro::records {

// Offsets advance by a page whatever a page held.
constexpr int32_t kBulkStep = kPageRecords;

struct BulkProgress {
    std::atomic<int32_t> total{0};  // 0 until the phone's count is known
    std::atomic<int32_t> offset{0}; // the page just requested
};

struct BulkKind {
    PagedList& list;
    BulkProgress& progress;
    bool clearsOffsetAtStart;
    // Writes the kind's line after each page (null: none).
    void (*logPage)(int32_t total, int32_t offset, int added);
};

// Frees the list, reads the count from device 0 and fetches offsets 0, 5, 10, ... below it.
// 0 when it ran to the end or stopped for the abort flag (read after each page); -1 when the
// count was not above 0 or a page failed (the pages before it stay in the list).
int32_t bulkRefresh(const BulkKind& kind);

// The abort flag shared by every bulk refresh: set by the host, never cleared by a loop, so
// while it stays set every bulk refresh returns after its first page.
void requestBulkAbort();
void resetBulkAbort();

} // namespace zentro::records
