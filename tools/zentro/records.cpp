#include "records.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "cli.h"
#include "interrupt.h"
#include "progress.h"
#include "zentrolink.h"

namespace zentro::cli {
namespace {

constexpr int kPageStep = 5; // the companion's page size; offsets advance by it

// The kinds' exports, so one reader serves all four.
struct KindCalls {
    const RecordKind* kind;
    int32_t (*count)(int32_t device);
    int32_t (*fetchPage)(int32_t device, int32_t offset); // frees the list, then one page
    const void* (*head)();
    int32_t (*size)(); // nodes in the library's list
    const void* (*next)(const void* node);
    // Bulk refresh of device 0 with its progress values; null where the phone has none.
    int32_t (*bulk)(int32_t);
    int32_t (*bulkTotal)();
    int32_t (*bulkOffset)();
    // Where the library can keep pages: the whole list stays for the grouping exports.
    int32_t (*clearList)();
    int32_t (*appendPage)(int32_t device, int32_t offset);
};

template <class Node>
const void* nextOf(const void* node) {
    return static_cast<const Node*>(node)->next;
}

const void* messageHead() {
    SmsRecord* head = nullptr;
    Zentro_GetSMS(&head);
    return head;
}
int32_t messageCount() {
    SmsRecord* head = nullptr;
    return Zentro_GetSMS(&head);
}
const void* callHead() {
    CallHistoryRecord* head = nullptr;
    Zentro_GetCallHistory(&head);
    return head;
}
int32_t callCount() {
    CallHistoryRecord* head = nullptr;
    return Zentro_GetCallHistory(&head);
}
const void* eventHead() {
    CalenderRecord* head = nullptr;
    Zentro_GetCalender(&head);
    return head;
}
const void* contactHead() {
    PersonRecord* head = nullptr;
    Zentro_GetPerson(&head);
    return head;
}

const KindCalls& callsOf(const RecordKind& kind) {
    static const KindCalls table[] = {
        {&messageKind(), Zentro_FlushSMS_Count, Zentro_FlushSMS, messageHead, messageCount, nextOf<SmsRecord>,
         Zentro_FlushSMSAll, Zentro_FlushSMSAll_Count, Zentro_FlushSMSAll_Index,
         Zentro_FlushSMS_Only_ClearList, Zentro_FlushSMS_Not_ClearList},
        {&callKind(), Zentro_FlushCallLog_Count, Zentro_FlushCallHistory, callHead, callCount,
         nextOf<CallHistoryRecord>, Zentro_FlushCallHistoryAll, Zentro_FlushCallLogAll_Count,
         Zentro_FlushCallLogAll_Index, Zentro_FlushCallHistory_Only_ClearList,
         Zentro_FlushCallHistory_Not_ClearList},
        {&eventKind(), Zentro_FlushCalender_Count, Zentro_FlushCalender, eventHead, nullptr,
         nextOf<CalenderRecord>, nullptr, nullptr, nullptr, nullptr, nullptr},
        {&contactKind(), Zentro_FlushContact_Count, Zentro_FlushPerson, contactHead, nullptr,
         nextOf<PersonRecord>, Zentro_FlushPersonAll, Zentro_FlushContactAll_Count,
         Zentro_FlushContactAll_Index, nullptr, nullptr},
    };
    for (const KindCalls& calls : table) {
        if (calls.kind == &kind) return calls;
    }
    throw Failure(std::string("no reader for ") + kind.noun);
}

// Every node of the four kinds starts with its text fields as consecutive pointers.
void appendRows(const KindCalls& calls, std::vector<Row>& rows) {
    const size_t fieldCount = calls.kind->fields.size();
    for (const void* node = calls.head(); node != nullptr; node = calls.next(node)) {
        Row row(fieldCount);
        for (size_t i = 0; i < fieldCount; ++i) {
            const char* text = nullptr;
            std::memcpy(&text, static_cast<const char*>(node) + i * sizeof(char*), sizeof text);
            if (text != nullptr) row[i] = text;
        }
        rows.push_back(std::move(row));
    }
}

RecordSet readInBulk(const KindCalls& calls, ReadProgress& progress) {
    RecordSet set;
    Zentro_ResetFlushAllDBStatus(); // an abort left over from an earlier run would cut this one
    progress.begin(calls.kind->noun);
    const WatchedWork work = progress.watch(
        [&calls] { return calls.bulk(0); },
        [&calls] { return std::pair<int64_t, int64_t>(calls.bulkOffset(), calls.bulkTotal()); },
        Zentro_AbortFlushAllDB);
    const bool aborted = work.aborted;
    const int64_t result = work.result;
    if (aborted) Zentro_ResetFlushAllDBStatus();
    try {
        appendRows(calls, set.rows);
    } catch (const std::bad_alloc&) {
        // The library's list holds the memory: give it back, so the caller can go on.
        set.rows = std::vector<Row>();
        if (calls.clearList != nullptr) calls.clearList();
        throw;
    }
    const int32_t total = calls.bulkTotal();
    progress.update(static_cast<int64_t>(set.rows.size()), total);
    progress.finish(aborted ? "aborted" : result == 0 ? "done" : "failed");
    set.complete = !aborted && result == 0;
    if (result != 0 && total <= 0) set.complete = true; // nothing on the phone: an empty list is all
    return set;
}

RecordSet readByPages(const KindCalls& calls, int32_t device, ReadProgress& progress) {
    RecordSet set;
    const int32_t count = calls.count(device);
    if (count <= 0) return set;
    progress.begin(calls.kind->noun);
    if (calls.clearList != nullptr) calls.clearList();
    // The count is the phone's word: the offset is 64-bit so a count near INT32_MAX cannot make
    // it wrap (below the count it fits the export's 32 bits), and a page that brings nothing ends
    // the reading: the phone announced more than it holds.
    for (int64_t offset = 0; offset < count; offset += kPageStep) {
        if (progress.stopped()) {
            set.complete = false;
            break;
        }
        progress.update(offset, count);
        if (calls.appendPage != nullptr) {
            const int32_t listed = calls.size();
            calls.appendPage(device, static_cast<int32_t>(offset));
            if (calls.size() <= listed) break;
        } else {
            const size_t before = set.rows.size();
            calls.fetchPage(device, static_cast<int32_t>(offset));
            appendRows(calls, set.rows);
            if (set.rows.size() == before) break;
        }
    }
    if (calls.appendPage != nullptr) appendRows(calls, set.rows);
    progress.finish(set.complete ? "done" : "aborted");
    return set;
}

// The terminal's bar, drawn on standard error; Ctrl-C stops the reading.
class TerminalRead : public ReadProgress {
public:
    void begin(const std::string& noun) override { bar_.emplace("reading " + noun, noun); }
    void update(int64_t done, int64_t total) override { bar_->update(done, total); }
    void finish(const char* outcome) override { bar_->finish(outcome); }
    WatchedWork watch(const std::function<int64_t()>& work, const Poll& poll,
                      const std::function<void()>& abort) override {
        return watchWork(*bar_, work, poll, abort);
    }
    bool stopped() override { return interrupted(); }

private:
    std::optional<Progress> bar_;
};

} // namespace

const RecordKind& messageKind() {
    static const RecordKind kind{
        "messages", {"id", "person", "address", "body", "date", "type", "read", "threadId"}, {"date"}};
    return kind;
}

const RecordKind& callKind() {
    static const RecordKind kind{"calls", {"id", "name", "number", "date", "type", "duration"}, {"date"}};
    return kind;
}

const RecordKind& eventKind() {
    static const RecordKind kind{"events",
                                 {"id", "calendarId", "title", "start", "end", "location", "timeZone",
                                  "description", "hasAlarm", "reminderMinutes", "recurrenceRule"},
                                 {"start", "end"}};
    return kind;
}

const RecordKind& contactKind() {
    static const RecordKind kind{
        "contacts",
        {"id",         "firstName",  "lastName",    "nickname",    "mobile",  "homePhone",    "workPhone",
         "website",    "homeEmail",  "birthday",    "group",       "note",    "organization", "title",
         "reserved14", "reserved15", "homeAddress", "workAddress", "homeFax", "workFax",      "workEmail"},
        {}};
    return kind;
}

RecordSet readRecords(const RecordKind& kind) {
    requirePreparedPhone();
    TerminalRead progress;
    return readRecords(kind, options().device, progress);
}

RecordSet readRecords(const RecordKind& kind, int32_t device, ReadProgress& progress) {
    const KindCalls& calls = callsOf(kind);
    RecordSet set = calls.bulk != nullptr && device == 0 ? readInBulk(calls, progress)
                                                         : readByPages(calls, device, progress);
    if (&kind == &messageKind() || &kind == &callKind()) {
        // Newest first; the date texts sort as they read (YYYY-MM-DD HH:MM:SS).
        const size_t date = &kind == &messageKind() ? 4 : 3;
        // Compared in place: a copy of each date per comparison costs seconds on 100,000 rows.
        static const std::string none;
        const auto newer = [date](const Row& a, const Row& b) {
            return (a[date] ? *a[date] : none) > (b[date] ? *b[date] : none);
        };
        // Phones mostly list them newest first already: one pass to see it costs far less than
        // a sort that moves every row.
        if (!std::is_sorted(set.rows.begin(), set.rows.end(), newer))
            std::stable_sort(set.rows.begin(), set.rows.end(), newer);
    }
    return set;
}

const Cell& cellOf(const RecordKind& kind, const Row& row, const std::string& field) {
    static const Cell none;
    auto it = std::find(kind.fields.begin(), kind.fields.end(), field);
    if (it == kind.fields.end()) return none;
    return row[static_cast<size_t>(it - kind.fields.begin())];
}

} // namespace zentro::cli
