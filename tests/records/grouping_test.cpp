#include "records/grouping.h"

#include <gtest/gtest.h>

#include <random>

#include "library_test.h"
#include "record_fixtures.h"

using namespace zentro::records;
using zrec::GroupShape;

namespace {

using Grouping = ztest::LibraryTest;

// Pools rich in repeats, absent and empty texts; each list draws from a random part of them.
const char* kThreads[] = {nullptr, "", "1", "2", "3", "10", "1 ", "7", "8", "9"};
const char* kAddresses[] = {nullptr, "", "+111", "+222", "555", "+111 ", "+333", "+444"};
template <size_t N>
const char* pick(std::mt19937& random, const char* (&pool)[N], uint32_t part) {
    return pool[random() % std::min<uint32_t>(part, N)];
}

void fillMessages(zrec::MessageList& list, std::mt19937& random, size_t count) {
    const uint32_t threads = 1 + random() % std::size(kThreads);
    const uint32_t addresses = 1 + random() % std::size(kAddresses);
    const uint32_t dates = 1 + random() % std::size(zrec::kDates);
    for (size_t i = 0; i < count; ++i) {
        list.add(pick(random, kThreads, threads), pick(random, kAddresses, addresses),
                 pick(random, zrec::kDates, dates));
    }
}

} // namespace

TEST_F(Grouping, MessagesMatchVisitingEveryGroup) {
    zrec::DirectKeys keys;
    std::mt19937 random(3);
    for (int round = 0; round < 3000; ++round) {
        zrec::MessageList list;
        fillMessages(list, random, random() % (round % 10 == 0 ? 300 : 40));
        const std::vector<GroupShape> expected = zrec::groupMessagesDirectly(list.head(), keys);
        ASSERT_EQ(zrec::shapeOf(rebuildMessageGroups(list.head())), expected) << "round " << round;
        // A second build replaces the first with equal contents.
        ASSERT_EQ(zrec::shapeOf(rebuildMessageGroups(list.head())), expected) << "round " << round;
        ASSERT_EQ(zrec::shapeOf(messageGroups()), expected);
    }
    EXPECT_EQ(rebuildMessageGroups(nullptr), nullptr);
    EXPECT_EQ(messageGroups(), nullptr);
}

TEST_F(Grouping, MessagesMeetTheNewestMemberNotTheFounder) {
    zrec::MessageList list;
    SmsRecord* founder = list.add("1", "+111", "2012-01-01 00:00:00");
    SmsRecord* sameAddress = list.add("2", "+111", "2012-01-03 00:00:00");
    SmsRecord* founderThread = list.add("1", "+222", "2012-01-02 00:00:00");
    SmsRecord* loner = list.add(nullptr, nullptr, nullptr);
    SmsRecord* joinsByThread = list.add("1", nullptr, "");
    const std::vector<GroupShape> shape = zrec::shapeOf(rebuildMessageGroups(list.head()));
    ASSERT_EQ(shape.size(), 3u);
    // Newest first; within a group the latest joiner leads and the founder stays last.
    EXPECT_EQ(shape[0].members, (std::vector<const void*>{sameAddress, founder}));
    EXPECT_EQ(shape[0].last, founder);
    EXPECT_EQ(shape[1].members, (std::vector<const void*>{joinsByThread, founderThread}));
    EXPECT_EQ(shape[2].members, (std::vector<const void*>{loner}));
    EXPECT_EQ(shape[2].latestDate, 0);
}

TEST_F(Grouping, CallsMatchVisitingEveryGroup) {
    std::mt19937 random(4);
    for (int round = 0; round < 3000; ++round) {
        zrec::CallList list;
        const uint32_t part = 1 + random() % std::size(kAddresses);
        for (int i = 0, count = random() % (round % 10 == 0 ? 300 : 40); i < count; ++i) {
            list.add(pick(random, kAddresses, part));
        }
        ASSERT_EQ(zrec::shapeOf(rebuildCallGroups(list.head())), zrec::groupCallsDirectly(list.head()))
            << "round " << round;
    }
    // Groups in the reverse order of each number's first appearance, members in list order.
    zrec::CallList list;
    CallHistoryRecord* a1 = list.add("+111");
    CallHistoryRecord* b1 = list.add("+222");
    CallHistoryRecord* a2 = list.add("+111");
    CallHistoryRecord* none = list.add(nullptr);
    const std::vector<GroupShape> shape = zrec::shapeOf(rebuildCallGroups(list.head()));
    ASSERT_EQ(shape.size(), 3u);
    EXPECT_EQ(shape[0].members, (std::vector<const void*>{none}));
    EXPECT_EQ(shape[1].members, (std::vector<const void*>{b1}));
    EXPECT_EQ(shape[2].members, (std::vector<const void*>{a1, a2}));
    EXPECT_EQ(shape[2].last, a2);
    EXPECT_EQ(rebuildCallGroups(nullptr), nullptr);
}
