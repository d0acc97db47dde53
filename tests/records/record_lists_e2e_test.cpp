// A companion that sends far more than it announced, measured in this process's memory (read
// from /proc, so with the Linux end-to-end programs).
#include <gtest/gtest.h>

#include <string>

#include "process_usage.h"
#include "records_fixture.h"
#include "zentrolink.h"

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
