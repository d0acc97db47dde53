// Typed dates: what is accepted, what it means, what is refused.
#include <gtest/gtest.h>

#include <ctime>

#include "formats/dates.h"
#include "test_support.h"

namespace cli = zentro::cli;

namespace {

// A zone with summer time, given as a rule so no zone file is read.
class Dates : public ::testing::Test {
protected:
    ztest::ZoneGuard zone{"CET-1CEST,M3.5.0,M10.5.0/3"};
};

TEST_F(Dates, AcceptedFormsAndWhatTheyMean) {
    const struct {
        const char* text;
        int64_t millis;
    } table[] = {
        {"2026-12-07", 1796598000000},                   // local midnight, winter: UTC+1
        {"2026-12-07 10:30", 1796635800000},             //
        {"2026-07-01T10:30:15", 1782894615000},          // summer: UTC+2
        {" 2026-07-01 10:30:15 ", 1782894615000},        //
        {"2026-12-07T10:30:00Z", 1796639400000},         //
        {"2026-12-07t10:30z", 1796639400000},            //
        {"2026-12-07T10:30:00.25+05:30", 1796619600250}, //
        {"2026-12-07T10:30-0800", 1796668200000},        //
        {"2026-12-07T10:30-08", 1796668200000},          //
        {"2024-02-29 00:00", 1709161200000},             // a leap day
        {"1796598000000", 1796598000000},                // milliseconds as before
    };
    for (const auto& row : table) {
        const cli::ParsedDate parsed = cli::parseDate(row.text);
        ASSERT_TRUE(parsed.millis.has_value()) << row.text << ": " << parsed.error;
        EXPECT_EQ(*parsed.millis, row.millis) << row.text;
    }
}

TEST_F(Dates, RefusedFormsSayWhy) {
    for (const char* text : {"",
                             "tomorrow",
                             "yesterday",
                             "20261208",
                             "2026-12-7",
                             "2026/12/07",
                             "2026-02-29",
                             "2100-02-29",
                             "2026-04-31",
                             "2026-13-01",
                             "2026-00-10",
                             "2026-12-07 24:00",
                             "2026-12-07 10:60",
                             "2026-12-07 10",
                             "2026-12-07 10:30:",
                             "2026-12-07T10:30+25:00",
                             "2026-12-07T10:30+01:00x",
                             "2026-12-07X",
                             "2026-12-07 10:30:00.",
                             "1850-01-01",
                             "9999999999999999"}) {
        const cli::ParsedDate parsed = cli::parseDate(text);
        EXPECT_FALSE(parsed.millis.has_value()) << text << " read as " << parsed.millis.value_or(0);
        EXPECT_NE(parsed.error.find("is not a date"), std::string::npos) << text;
    }
    EXPECT_NE(cli::parseDate("2026-02-30").error.find("no day 30"), std::string::npos);
}

TEST_F(Dates, PrintedInLocalTimeAndReadBack) {
    const int64_t winter = 1796635800000, summer = 1782894615000;
    EXPECT_EQ(cli::isoLocalDate(winter), "2026-12-07T10:30:00+01:00");
    EXPECT_EQ(cli::isoLocalDate(summer), "2026-07-01T10:30:15+02:00");
    EXPECT_EQ(cli::phoneDateText(summer), "2026-07-01 10:30:15");
    EXPECT_EQ(cli::shortLocalDate(winter), "2026-12-07 10:30");
    EXPECT_EQ(cli::shortLocalDate(-1), "1970-01-01 00:59") << "a moment before 1970 rounds to the past";
    for (int64_t millis : {winter, summer}) {
        EXPECT_EQ(cli::parseDate(cli::isoLocalDate(millis)).millis, millis);
        EXPECT_EQ(cli::parseDate(cli::phoneDateText(millis)).millis, millis);
    }
    zone.set("UTC0");
    EXPECT_EQ(cli::isoLocalDate(winter), "2026-12-07T09:30:00Z");
}

} // namespace
