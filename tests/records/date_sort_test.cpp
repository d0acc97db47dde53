#include "records/date_sort.h"

#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "platform/clock.h"
#include "record_fixtures.h"
#include "records/date_key.h"
#include "test_support.h"

using namespace zentro::records;

namespace {

// The conversion written out again: the digits at each fixed place (the place cut at the end
// of the text), the current local time with those fields and `dstFlag`, back through mktime.
int64_t referenceKey(const std::string& text, int dstFlag) {
    auto field = [&text](size_t at, size_t width) {
        int value = 0;
        for (size_t i = at; i < at + width && i < text.size() && isdigit(static_cast<unsigned char>(text[i]));
             ++i) {
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    std::tm t{};
    zentro::platform::localTime(std::time(nullptr), t);
    t.tm_year = field(0, 4) - 1900;
    t.tm_mon = field(5, 2) - 1;
    t.tm_mday = field(8, 2);
    t.tm_hour = field(11, 2);
    t.tm_min = field(14, 2);
    t.tm_sec = field(17, 2);
    t.tm_isdst = dstFlag;
    const std::time_t converted = std::mktime(&t);
    return converted == static_cast<std::time_t>(-1) ? -1 : static_cast<int64_t>(converted);
}

// A local time that occurs twice under the same flag (a standard offset moved back) or not at
// all (one moved forward) has two readings, and the C library picks the one nearest the offset
// of its previous call. The readings after converting a time two days before and after.
std::vector<int64_t> allReadings(const std::string& text, int dstFlag) {
    std::vector<int64_t> readings{referenceKey(text, dstFlag)};
    for (int64_t shift : {-172800, 172800}) {
        std::tm near{};
        zentro::platform::localTime(static_cast<std::time_t>(readings[0] + shift), near);
        std::mktime(&near);
        readings.push_back(referenceKey(text, dstFlag));
    }
    return readings;
}

std::string two(int value) { return (value < 10 ? "0" : "") + std::to_string(value); }

} // namespace

TEST(DateKey, ReadsEachFieldFromItsFixedPlace) {
    ztest::ZoneGuard zone("UTC0");
    EXPECT_EQ(dateKey("1970-01-02 00:00:00"), 86400);
    EXPECT_EQ(dateKey("2013-01-02 10:00:00"), 1357120800);
    // Only the leading digits of a place count; separators are never looked at.
    EXPECT_EQ(dateKey("2013-01-02 10:0x:05"), dateKey("2013-01-02 10:00:05"));
    EXPECT_EQ(dateKey("2013/01/02T10:00:05Z"), dateKey("2013-01-02 10:00:05"));
    // A text that ends early leaves day 0 (the last day of the month before), and out-of-range
    // fields carry over as the C library carries them.
    EXPECT_EQ(dateKey("2012-03"), dateKey("2012-02-29 00:00:00"));
    EXPECT_EQ(dateKey("2012-03-01 0"), dateKey("2012-03-01 00:00:00"));
    EXPECT_EQ(dateKey("2012-12-31 23:59:60"), dateKey("2013-01-01 00:00:00"));
    EXPECT_EQ(dateKey(""), referenceKey("", 0));
}

TEST(DateKey, CalculatorMatchesTheCLibraryInEveryZoneAndSeason) {
    // Days holding zone changes (US, Europe with Dublin's reversed flag, a 30-minute change,
    // standard offsets that moved, a skipped day), ordinary days, and fields the conversion
    // carries over or (with a 32-bit time) rejects. Under a fixed flag only some of these
    // changes make a day uneven.
    const char* days[] = {"2012-03-11", "2012-11-04", "2012-03-25", "2012-10-28", "2012-04-01",
                          "2012-10-07", "2014-10-26", "2011-03-27", "2011-12-29", "2011-12-30",
                          "1986-01-01", "2013-07-15", "2013-01-15", "2012-02-31", "2012-13-01",
                          "1969-12-31", "1970-01-01", "2040-06-01", "0000-00-00", "1900-01-01"};
    std::mt19937 random(7);
    for (const char* zone : {"UTC0", "EST5EDT,M3.2.0,M11.1.0", "America/New_York", "Europe/Dublin",
                             "Australia/Lord_Howe", "Europe/Moscow", "Pacific/Apia", "Asia/Kathmandu"}) {
        ztest::ZoneGuard guard(zone);
        for (int flag : {0, 1}) {
            DateKeyCalculator calculator(flag);
            for (int i = 0; i < 1500; ++i) {
                std::string text = days[random() % std::size(days)];
                const int hour = random() % 10 == 0 ? 24 + random() % 76 : random() % 24;
                const int minute = random() % 10 == 0 ? random() % 100 : random() % 60;
                text += " " + two(hour) + ":" + two(minute) + ":" + two(random() % 61);
                const int64_t key = calculator.key(text.c_str());
                const std::vector<int64_t> readings = allReadings(text, flag);
                ASSERT_NE(std::find(readings.begin(), readings.end(), key), readings.end())
                    << zone << " " << text << " flag " << flag << ": " << key << " not " << readings[0]
                    << ", " << readings[1] << " or " << readings[2];
            }
        }
        // One-off keys take the flag in force now, not the date's own (a summer date read in
        // winter lands an hour off where the C library honours the flag).
        std::tm now{};
        zentro::platform::localTime(std::time(nullptr), now);
        for (const char* noon : {"2012-01-15 12:00:00", "2012-07-01 12:00:00"}) {
            EXPECT_EQ(dateKey(noon), referenceKey(noon, now.tm_isdst)) << zone << " " << noon;
        }
    }
}

TEST(DateSort, ListMatchesTheExchangeSortOverTheList) {
    zrec::DirectKeys keys;
    std::mt19937 random(5);
    for (int round = 0; round < 2000; ++round) {
        zrec::MessageList list;
        const size_t count = random() % (round % 10 == 0 ? 200 : 30);
        const uint32_t pool = 1 + random() % std::size(zrec::kDates);
        for (size_t i = 0; i < count; ++i) list.add("1", "a", zrec::kDates[random() % pool]);
        std::vector<SmsRecord*> nodes;
        for (SmsRecord* node = list.head(); node != nullptr; node = node->next) nodes.push_back(node);
        const std::vector<SmsRecord> original = zrec::contentsOf(list.head());

        for (int32_t flag : {1, 0, 7}) {
            zrec::restoreContents(list.head(), original);
            sortMessagesByDate(list.head(), flag);
            const std::vector<SmsRecord> fast = zrec::contentsOf(list.head());
            zrec::restoreContents(list.head(), original);
            zrec::exchangeSortList(list.head(), flag, keys);
            const std::vector<SmsRecord> expected = zrec::contentsOf(list.head());
            for (size_t i = 0; i < count; ++i) {
                ASSERT_EQ(std::memcmp(&fast[i], &expected[i], sizeof(SmsRecord)), 0) // links are null
                    << "round " << round << " flag " << flag << " at " << i;
            }
            size_t at = 0; // the nodes and their links stay where they were
            for (SmsRecord* node = list.head(); node != nullptr; node = node->next)
                ASSERT_EQ(node, nodes[at++]);
            ASSERT_EQ(at, count);
        }
    }
}
