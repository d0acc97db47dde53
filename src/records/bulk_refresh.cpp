#include "records/bulk_refresh.h"

namespace zentro::records {
namespace {

// Every bulk refresh talks to the first phone, whatever the host passed.
constexpr int32_t kBulkDevice = 0;

std::atomic<int32_t> g_abort{0};

} // namespace

int32_t bulkRefresh(const BulkKind& kind) {
    kind.list.clear();
    kind.progress.total.store(0);
    if (kind.clearsOffsetAtStart) kind.progress.offset.store(0);
    const int32_t total = kind.list.queryCount(kBulkDevice);
    if (total <= 0) return -1;
    kind.progress.total.store(total);
    for (int32_t offset = 0; offset < total; offset += kBulkStep) {
        kind.progress.offset.store(offset);
        int added = 0;
        if (kind.list.fetchPage(kBulkDevice, offset, &added) != 0) return -1;
        if (kind.logPage != nullptr) kind.logPage(total, offset, added);
        if (g_abort.load() == 1) return 0;
        if (offset > INT32_MAX - kBulkStep) break; // a count near the limit must not wrap
    }
    return 0;
}

void requestBulkAbort() { g_abort.store(1); }
void resetBulkAbort() { g_abort.store(0); }

} // namespace zentro::records
