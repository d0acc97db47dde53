#include "records/call_log.h"

#include <cstddef>

namespace zentro::records {
namespace {

using link::FieldRule;
using link::storeOwnedText;

constexpr FieldRule<CallHistoryRecord> kFields[] = {
    {"ID", storeOwnedText<&CallHistoryRecord::id>},
    {"NAME", storeOwnedText<&CallHistoryRecord::name>},
    {"NUMBER", storeOwnedText<&CallHistoryRecord::number>},
    {"TYPE", storeOwnedText<&CallHistoryRecord::type>},
    {"DURATION", storeOwnedText<&CallHistoryRecord::duration>},
    {"DATE", storeOwnedText<&CallHistoryRecord::date>},
};

constexpr size_t kTexts = 7; // id .. reserved
static_assert(offsetof(CallHistoryRecord, reserved) == (kTexts - 1) * sizeof(char*));
static_assert(offsetof(CallHistoryRecord, flags1) == kTexts * sizeof(char*));

constexpr ListKind<CallHistoryRecord> kCalls{
    kFields, kTexts, "getcalllogcount;", "getcalllogpart10:%d;", Insertion::AtTail, false, "calls"};

RecordList<CallHistoryRecord> g_list{kCalls};
BulkProgress g_progress;

} // namespace

RecordList<CallHistoryRecord>& callLogList() { return g_list; }
BulkProgress& callLogBulkProgress() { return g_progress; }

int32_t refreshAllCalls() { return bulkRefresh({g_list, g_progress, true, nullptr}); }

} // namespace zentro::records
