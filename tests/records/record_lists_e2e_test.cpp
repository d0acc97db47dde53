// Record lists end to end: the real adb client forwards port 30148 to the virtual phone's
// companion, and what the host walks must be the phone's own data set, record for record; and a
// companion that sends far more than it announced, measured in this process's memory.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../link/loopback_peer.h"
#include "companion/commands.h"
#include "companion/dataset.h"
#include "process_usage.h"
#include "records_fixture.h"
#include "virtual_phone.h"
#include "zentrolink.h"

using namespace zsim::companion;

namespace {

constexpr const char* kSerial = "ZX1G22ABCD000000";
constexpr uint32_t kSeed = 7;

zsim::DataSizes phoneSizes() {
    zsim::DataSizes sizes;
    sizes.messages = 1000;
    sizes.calls = 137;
    sizes.events = 23;
    sizes.contacts = 61;
    return sizes;
}

std::string scenario() {
    const zsim::DataSizes s = phoneSizes();
    return std::string(R"({"devices":[{"serial":")") + kSerial + R"(","seed":)" + std::to_string(kSeed) +
           R"(,"companionRunning":true,"sizes":{"messages":)" + std::to_string(s.messages) + R"(,"calls":)" +
           std::to_string(s.calls) + R"(,"events":)" + std::to_string(s.events) + R"(,"contacts":)" +
           std::to_string(s.contacts) + "}}]}";
}

// A node's texts joined into one line; null and empty stay apart.
std::string line(std::initializer_list<const char*> texts) {
    std::string out;
    for (const char* t : texts) out += (t != nullptr ? "[" + std::string(t) + "]" : "<null>");
    return out;
}

// What a value becomes on the way: cut to 1,023 bytes.
std::string sent(const std::string& value) { return "[" + value.substr(0, 1023) + "]"; }
std::string sent(const std::optional<std::string>& value) { return value ? sent(*value) : "<null>"; }
std::string sent(int64_t value) { return sent(std::to_string(value)); }

// Equal lines, or the first place they part.
::testing::AssertionResult sameLines(const std::vector<std::string>& got,
                                     const std::vector<std::string>& want) {
    for (size_t i = 0; i < got.size() && i < want.size(); ++i) {
        if (got[i] != want[i])
            return ::testing::AssertionFailure()
                   << "record " << i << ": " << got[i] << " instead of " << want[i];
    }
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << got.size() << " records instead of " << want.size();
    return ::testing::AssertionSuccess();
}

class RecordListsE2e : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        phone_.exportAdbPort();
        ASSERT_EQ(Zentro_CheckDeviceDetected(0), 0);
    }
    ztest::VirtualPhone phone_{scenario()};
};

} // namespace

TEST_F(RecordListsE2e, BulkMessagesEqualThePhonesWhileProgressRisesThroughTheOffsets) {
    std::atomic<bool> done{false};
    std::vector<int32_t> offsets;
    std::thread poller([&] {
        int32_t last = Zentro_FlushSMSAll_Index();
        for (bool more = true; more;) {
            more = !done.load();
            const int32_t now = Zentro_FlushSMSAll_Index();
            if (now != last) offsets.push_back(last = now);
            std::this_thread::yield();
        }
    });
    const int32_t result = Zentro_FlushSMSAll(0);
    done.store(true);
    poller.join();
    ASSERT_EQ(result, 0);
    EXPECT_EQ(Zentro_FlushSMSAll_Count(), 1000);
    ASSERT_FALSE(offsets.empty());
    EXPECT_EQ(offsets.back(), 995);
    EXPECT_GE(offsets.size(), 3u) << "the poller saw too few steps";
    for (size_t i = 0; i < offsets.size(); ++i) {
        EXPECT_EQ(offsets[i] % 5, 0);
        if (i > 0) {
            EXPECT_GT(offsets[i], offsets[i - 1]);
        }
    }

    // Pages come newest first and land at the head: the walk runs oldest first.
    std::vector<std::string> want;
    for (const Message& m : generateMessages(kSeed, phoneSizes())) {
        want.push_back(sent(m.id) +
                       sent(m.person != 0 ? std::optional(std::to_string(m.person)) : std::nullopt) +
                       sent(m.address) + sent(m.body) + sent(m.date) + sent(m.type) + sent(m.read) +
                       sent(m.threadId) + "<null>");
    }
    SmsRecord* head = nullptr;
    EXPECT_EQ(Zentro_GetSMS(&head), 1000);
    std::vector<std::string> got;
    for (const SmsRecord* r = head; r != nullptr; r = r->next)
        got.push_back(line(
            {r->id, r->person, r->address, r->body, r->date, r->type, r->read, r->threadId, r->reserved}));
    EXPECT_TRUE(sameLines(got, want));
}

TEST_F(RecordListsE2e, BulkCallsAndContactsAndPagedEventsEqualThePhones) {
    ASSERT_EQ(Zentro_FlushCallHistoryAll(0), 0);
    EXPECT_EQ(Zentro_FlushCallLogAll_Index(), 135);
    std::vector<std::string> want;
    const std::vector<Call> calls = generateCalls(kSeed, phoneSizes());
    for (auto c = calls.rbegin(); c != calls.rend(); ++c) // newest first, kept in reply order
        want.push_back(sent(c->id) + sent(c->name) + sent(c->number) + sent(c->date) + sent(c->type) +
                       sent(c->duration) + "<null>");
    CallHistoryRecord* call = nullptr;
    EXPECT_EQ(Zentro_GetCallHistory(&call), 137);
    std::vector<std::string> got;
    for (const CallHistoryRecord* r = call; r != nullptr; r = r->next)
        got.push_back(line({r->id, r->name, r->number, r->date, r->type, r->duration, r->reserved}));
    EXPECT_TRUE(sameLines(got, want));

    ASSERT_EQ(Zentro_FlushPersonAll(1), 0);
    EXPECT_EQ(Zentro_FlushContactAll_Count(), 61);
    const char* const* keys = zsim::companion::kContactKeys;
    want.clear();
    const std::vector<Contact> contacts = generateContacts(kSeed, phoneSizes());
    for (auto c = contacts.rbegin(); c != contacts.rend(); ++c) { // pages by id, head insertion
        std::string w = sent(c->id) + sent(c->displayName());
        for (int f = 2; f < 21; ++f)
            w += keys[f][0] != 0 ? sent(c->fields[static_cast<size_t>(f)]) : "<null>";
        want.push_back(w);
    }
    PersonRecord* person = nullptr;
    EXPECT_EQ(Zentro_GetPerson(&person), 61);
    got.clear();
    for (const PersonRecord* r = person; r != nullptr; r = r->next) {
        std::string g;
        for (const char* t : r->fields) g += line({t});
        got.push_back(g);
    }
    EXPECT_TRUE(sameLines(got, want));

    // The calendar has no bulk refresh: the host pages through it, one page in the list at a time.
    const std::vector<Event> events = generateEvents(kSeed, phoneSizes());
    ASSERT_EQ(Zentro_FlushCalender_Count(0), 23);
    for (size_t offset = 0; offset < events.size(); offset += 5) {
        SCOPED_TRACE(offset);
        Zentro_FlushCalender(0, static_cast<int32_t>(offset));
        want.clear();
        for (size_t i = offset; i < events.size() && i < offset + 5; ++i) {
            const Event& e = events[i];
            want.push_back(sent(e.id) + sent(e.calendarId) + sent(e.title) + sent(e.start) + sent(e.end) +
                           sent(e.location) + sent(e.timeZone) + sent(e.description) + sent(e.hasAlarm) +
                           sent(e.minutes) + (e.rrule.empty() ? "<null>" : sent(e.rrule)));
        }
        CalenderRecord* event = nullptr;
        EXPECT_EQ(Zentro_GetCalender(&event), 0);
        got.clear();
        for (const CalenderRecord* r = event; r != nullptr; r = r->next)
            got.push_back(line({r->id, r->calendarId, r->title, r->start, r->end, r->location, r->timeZone,
                                r->description, r->hasAlarm, r->reminderMinutes, r->recurrenceRule}));
        EXPECT_TRUE(sameLines(got, want));
    }
}

#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes(); // the runtime's; this GCC ships no header
#endif

namespace {

// What the process holds. Under the address sanitizer freed blocks wait in its quarantine and
// keep the resident size up, so there the allocator's own count stands in.
int64_t memoryInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<int64_t>(__sanitizer_get_current_allocated_bytes());
#else
    return ztest::residentBytes();
#endif
}

class OversizedPages : public recordstest::RecordsTest {};

} // namespace

TEST_F(OversizedPages, APhoneSendingMoreThanItAnnouncedCostsAPageAtMost) {
    // Fifty messages announced, and every page five million bare record ends.
    companion_.answerCount("getsmsCount;", 50);
    for (int offset = 0; offset < 50; offset += 5)
        companion_.answer("getsmsPart10:" + std::to_string(offset) + ";", std::string(5'000'000, '.'));
    const int64_t before = memoryInUse();
    ASSERT_GT(before, 0);
    EXPECT_EQ(Zentro_FlushSMSAll(0), 0);
    EXPECT_EQ(recordstest::messageIds().size(), 0u);
    EXPECT_LT(memoryInUse() - before, 64 << 20);

    // Then pages packed with real records, over half a million each: the list keeps the count
    // plus one page, and says what it dropped.
    std::string packed;
    while (packed.size() < 5'000'000 - 9) packed += "ID:3132;.";
    for (int offset = 0; offset < 50; offset += 5)
        companion_.answer("getsmsPart10:" + std::to_string(offset) + ";", packed);
    EXPECT_EQ(Zentro_FlushSMSAll(0), 0);
    EXPECT_EQ(recordstest::messageIds().size(), 55u);
    EXPECT_LT(memoryInUse() - before, 64 << 20);
    EXPECT_TRUE(logHas(" messages dropped: the list holds 55, the phone announced 50\n"));

    // Outside the bulk loop the count asked last bounds the list the same way.
    companion_.answerCount("getcalllogcount;", 3);
    companion_.answer("getcalllogpart10:0;", recordstest::idPage("ID", {1, 2, 3, 4, 5, 6, 7}));
    ASSERT_EQ(Zentro_FlushCallLog_Count(0), 3);
    Zentro_FlushCallHistory_Not_ClearList(0, 0);
    Zentro_FlushCallHistory_Not_ClearList(0, 0);
    EXPECT_EQ(recordstest::callIds(), (recordstest::Ids{"1", "2", "3", "4", "5", "6", "7", "1"}));
}
