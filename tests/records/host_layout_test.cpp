// What a 32-bit host sees: it walks the record lists word by word (text pointers, two flag
// words, then the next pointer) and reads the records it hands in by byte offset. The lists
// are filled the real way, from companion pages, and read back without the structs' names.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/state.h"
#include "host_walk.h"
#include "records_fixture.h"
#include "zentrolink.h"

using namespace recordstest;
using hostwalk::HostNode;
using hostwalk::walkAsHost;

namespace {

// One record whose every key carries "<key>-<id>".
std::string fullRecord(const std::vector<std::string>& keys, int id) {
    std::string out;
    for (const std::string& key : keys) out += record({{key, key + "-" + std::to_string(id)}});
    // record() closes each pair with "."; one record wants a single closing dot.
    std::string merged;
    for (char c : out) {
        if (c != '.') merged += c;
    }
    return merged + ".";
}

// The texts a node built from fullRecord(keys, id) holds, with "<null>" where `slots` is empty.
std::vector<std::string> expectedTexts(const std::vector<std::string>& slots, int id) {
    std::vector<std::string> out;
    for (const std::string& key : slots)
        out.push_back(key.empty() ? "<null>" : key + "-" + std::to_string(id));
    return out;
}

std::vector<std::string> keysOf(const std::vector<std::string>& slots) {
    std::vector<std::string> keys;
    for (const std::string& key : slots) {
        if (!key.empty()) keys.push_back(key);
    }
    return keys;
}

class HostLayout : public RecordsTest {
protected:
    // Serves a page of records 1 and 2 for `command`, returns what the host reads of the list.
    template <class Fetch, class Head>
    std::vector<HostNode> pageAsHost(const std::string& command, const std::vector<std::string>& slots,
                                     size_t words, Fetch fetch, Head head) {
        companion_.answer(command, fullRecord(keysOf(slots), 1) + fullRecord(keysOf(slots), 2));
        fetch();
        return walkAsHost(head(), slots.size(), words);
    }
};

void expectNodes(const std::vector<HostNode>& nodes, const std::vector<std::string>& slots,
                 std::vector<int> ids, size_t flagWords) {
    ASSERT_EQ(nodes.size(), ids.size());
    for (size_t i = 0; i < ids.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(nodes[i].texts, expectedTexts(slots, ids[i]));
        EXPECT_EQ(nodes[i].flags, std::vector<uint32_t>(flagWords, 0));
    }
}

} // namespace

TEST_F(HostLayout, RecordNodesWalkedWordByWord) {
    if (sizeof(void*) != 4) GTEST_SKIP() << "the word-by-word walk is that of the 32-bit build";
    const std::vector<std::string> sms = {"ID",   "PERSON", "ADDRESS",   "BODY", "DATE",
                                          "TYPE", "READ",   "THREAD_ID", ""};
    expectNodes(pageAsHost(
                    "getsmsPart10:0;", sms, 12, [] { Zentro_FlushSMS(0, 0); },
                    [] {
                        SmsRecord* head = nullptr;
                        Zentro_GetSMS(&head);
                        return head;
                    }),
                sms, {2, 1}, 2); // a message page lands reversed

    const std::vector<std::string> calls = {"ID", "NAME", "NUMBER", "DATE", "TYPE", "DURATION", ""};
    expectNodes(pageAsHost(
                    "getcalllogpart10:0;", calls, 10, [] { Zentro_FlushCallHistory(0, 0); },
                    [] {
                        CallHistoryRecord* head = nullptr;
                        Zentro_GetCallHistory(&head);
                        return head;
                    }),
                calls, {1, 2}, 2);

    const std::vector<std::string> events = {"ID",       "CALENDARID", "TITLE",   "START",
                                             "END",      "EVENTLOC",   "EVENTTZ", "DESCRIPTION",
                                             "HASALARM", "MINUTES",    "RRULE"};
    expectNodes(pageAsHost(
                    "getcalendarpart10:0;", events, 14, [] { Zentro_FlushCalender(0, 0); },
                    [] {
                        CalenderRecord* head = nullptr;
                        Zentro_GetCalender(&head);
                        return head;
                    }),
                events, {1, 2}, 2);

    const std::vector<std::string>& people = recordstest::contactKeys();
    expectNodes(pageAsHost(
                    "getcontactpart10:0;", people, 24, [] { Zentro_FlushPerson(0, 0); },
                    [] {
                        PersonRecord* head = nullptr;
                        Zentro_GetPerson(&head);
                        return head;
                    }),
                people, {2, 1}, 2); // a contact page lands reversed too
}

TEST_F(HostLayout, DeviceRecordTextsAtTheirByteOffsets) {
    zentro::core::DeviceEntry* row = zentro::core::deviceRow(0);
    std::strcpy(row->brand, "Zentro:Labs");
    std::strcpy(row->serial, "ZX1G22ABCD000000");
    std::strcpy(row->model, "Pixel 7");
    std::strcpy(row->androidVersion, "13");
    unsigned char bytes[436];
    std::memset(bytes, 0xAA, sizeof bytes);
    ASSERT_EQ(Zentro_GetAndroidDevicesInfo(reinterpret_cast<DeviceInfoRecord*>(bytes), 0), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 0), "Zentro:Labs");
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 128), "ZX1G22ABCD000000");
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 192), "Pixel 7");
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 256), "13");
    // The numbers from 384 to the end are zero, and nothing past the 436 bytes is touched.
    for (size_t i = 384; i < sizeof bytes; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
}
