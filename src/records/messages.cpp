#include "records/messages.h"

#include <cstddef>

#include "core/log.h"

namespace zentro::records {
namespace {

using link::FieldRule;
using link::storeOwnedText;

void dropValue(SmsRecord&, const char*, size_t) {}

// Key order decides a tie; PROTOCOL and STATUS are known keys whose values nobody keeps.
constexpr FieldRule<SmsRecord> kFields[] = {
    {"ID", storeOwnedText<&SmsRecord::id>},
    {"THREAD_ID", storeOwnedText<&SmsRecord::threadId>},
    {"ADDRESS", storeOwnedText<&SmsRecord::address>},
    {"DATE", storeOwnedText<&SmsRecord::date>},
    {"PROTOCOL", dropValue, false},
    {"READ", storeOwnedText<&SmsRecord::read>},
    {"STATUS", dropValue, false},
    {"BODY", storeOwnedText<&SmsRecord::body>},
    {"TYPE", storeOwnedText<&SmsRecord::type>},
    {"PERSON", storeOwnedText<&SmsRecord::person>},
};

constexpr size_t kTexts = 9; // id .. reserved
static_assert(offsetof(SmsRecord, reserved) == (kTexts - 1) * sizeof(char*));
static_assert(offsetof(SmsRecord, flags1) == kTexts * sizeof(char*));

constexpr ListKind<SmsRecord> kMessages{kFields,           kTexts, "getsmsCount;", "getsmsPart10:%d;",
                                        Insertion::AtHead, true,   "messages"};

RecordList<SmsRecord> g_list{kMessages};
BulkProgress g_progress;

void logPage(int32_t total, int32_t offset, int added) {
    core::log(0, "dataCount = %d,st_sms_index =%d, read_i = %d, prasecount = %d\n", static_cast<int>(total),
              static_cast<int>(offset), static_cast<int>(offset + kBulkStep), added);
}

} // namespace

RecordList<SmsRecord>& messageList() { return g_list; }
BulkProgress& messageBulkProgress() { return g_progress; }

int32_t refreshAllMessages() {
    // The message offset keeps the previous run's value until the first page is asked for.
    return bulkRefresh({g_list, g_progress, false, logPage});
}

} // namespace zentro::records
