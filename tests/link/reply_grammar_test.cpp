#include "link/reply_grammar.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "link/device_info_reply.h"

using namespace zentro::link;

namespace {

struct Sample {
    char a[8];
    char b[4];
    int32_t number;
    int64_t big;
    char* owned;
};

constexpr FieldRule<Sample> kSampleFields[] = {
    {"A", storeText<&Sample::a>},          {"B", storeText<&Sample::b>},
    {"N", storeInt32<&Sample::number>},    {"L", storeInt64<&Sample::big>},
    {"O", storeOwnedText<&Sample::owned>},
};

// The records of one reply text; owned texts are freed with it.
struct Parsed {
    explicit Parsed(std::string text) {
        count = parseRecordList<Sample>(
            text.data(), kSampleFields, [&](Sample& r) { records.push_back(r); },
            [&](Sample& r) {
                std::free(r.owned);
                ++dropped;
            });
    }
    Parsed(const Parsed&) = delete;
    ~Parsed() {
        for (Sample& r : records) std::free(r.owned);
    }
    int count = 0;
    int dropped = 0;
    std::vector<Sample> records;
};

} // namespace

TEST(ReplyGrammar, CountsClosedRecordsOnly) {
    for (const auto& [text, closed] : std::vector<std::pair<std::string, int>>{
             {"A:41;.B:42;.", 2},
             {"A:41;.B:42;", 1},
             {"A:41", 0},
             {"A:41;.B:42", 1},
             {"", 0},
             {"...", 0}, // a record end with no field before it closes nothing
             {"..X;..A:41;..", 2}}) {
        EXPECT_EQ(Parsed(text).count, closed) << text;
    }
    Parsed parsed("A:41;.B:42;");
    ASSERT_EQ(parsed.records.size(), 1u);
    EXPECT_STREQ(parsed.records[0].a, "A");
    EXPECT_EQ(parsed.dropped, 1); // the open record is dropped
}

TEST(ReplyGrammar, FieldEdges) {
    // Several ":": key between the last two, value behind the last. Unknown and lower-case keys
    // are ignored, a field without ":" has an empty value, a repeated key keeps the last value,
    // fixed-size texts are cut to their size less one byte, and each record starts empty.
    Parsed parsed("X:B:41;.Z:41;a:41;A:4142;A;B:43;B:414243444546;.A:30313233343536373839;.");
    ASSERT_EQ(parsed.count, 3);
    EXPECT_STREQ(parsed.records[0].b, "A");
    EXPECT_STREQ(parsed.records[0].a, "");
    EXPECT_STREQ(parsed.records[1].a, "");
    EXPECT_STREQ(parsed.records[1].b, "ABC");
    EXPECT_STREQ(parsed.records[2].a, "0123456");
    EXPECT_STREQ(parsed.records[2].b, "");
}

TEST(ReplyGrammar, NumbersAndOwnedTexts) {
    // Hex-coded decimal text: leading digits count, none give 0, the 32-bit range holds.
    Parsed parsed(
        "N:2D3132616263;L:39393939393939393939;O:48656C6C6F;.N:7A;L:2D31;.N:3939393939393939393939;.");
    ASSERT_EQ(parsed.count, 3);
    EXPECT_EQ(parsed.records[0].number, -12);
    EXPECT_EQ(parsed.records[0].big, 9999999999LL);
    EXPECT_STREQ(parsed.records[0].owned, "Hello");
    EXPECT_EQ(parsed.records[1].number, 0);
    EXPECT_EQ(parsed.records[1].big, -1);
    EXPECT_EQ(parsed.records[1].owned, nullptr);
    EXPECT_EQ(parsed.records[2].number, INT32_MAX);

    // A long value is cut to 1,023 decoded bytes; a repeated owned key replaces its copy.
    std::string longValue;
    for (int i = 0; i < 1500; ++i) longValue += "41";
    Parsed cut("O:42;O:" + longValue + ";.");
    ASSERT_EQ(cut.count, 1);
    EXPECT_EQ(std::string(cut.records[0].owned), std::string(1023, 'A'));
}

TEST(DeviceInfoReply, FillsOneRecordFromAllFields) {
    std::string text =
        "BRAND:41636D65;MODEL:5A31;.ANDROIDVERSION:3133;SERIAL:53455231;MEMTOTAL:4096;"
        "MEMAVAIL:12a;PHONETOTAL:18446744073709551617;PHONEAVAIL:;SDTOTAL:7;UNKNOWN:41;MODEL:5A32;.";
    DeviceInfoRecord info{};
    info.sdStorageAvail = 5;
    parseDeviceInfoReply(text.data(), info);
    EXPECT_STREQ(info.brand, "Acme");
    EXPECT_STREQ(info.model, "Z2"); // a later record's value overwrites
    EXPECT_STREQ(info.androidVersion, "13");
    EXPECT_STREQ(info.serial, "SER1");
    // The record is packed: its numbers are read by value, never bound to a reference.
    EXPECT_EQ(uint64_t{info.memTotal}, 4096u);
    EXPECT_EQ(uint64_t{info.memAvail}, 169u);        // "a" counts 49, without a digit check
    EXPECT_EQ(uint64_t{info.phoneStorageTotal}, 1u); // wraps modulo 2^64
    EXPECT_EQ(uint64_t{info.phoneStorageAvail}, 0u);
    EXPECT_EQ(uint64_t{info.sdStorageTotal}, 7u);
    EXPECT_EQ(uint64_t{info.sdStorageAvail}, 5u); // absent: left as it was

    std::string longSerial = "SERIAL:";
    for (int i = 0; i < 100; ++i) longSerial += "39";
    DeviceInfoRecord cut{};
    parseDeviceInfoReply((longSerial += ";").data(), cut);
    EXPECT_EQ(std::string(cut.serial), std::string(63, '9'));
}
