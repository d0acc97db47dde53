// A long session against the virtual phone: a hundred bulk refreshes and a hundred downloads.
// Whatever a round allocates must be given back by the next; only the buffers the library keeps
// for the life of the process may stay: the heap in use after the 10th and the 100th round
// must be about the same. Under AddressSanitizer, LeakSanitizer also checks what is left at exit.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "../link/loopback_peer.h"
#include "process_usage.h"
#include "virtual_phone.h"
#include "zentrolink.h"

namespace {

constexpr int kRounds = 100;
constexpr int kMessages = 200;

std::string scenario() {
    return R"({"devices":[{"serial":"ZX1G22ABCD000000","seed":11,"sizes":{"messages":)" +
           std::to_string(kMessages) + R"(,"photos":12}}]})";
}

#if defined(__SANITIZE_ADDRESS__)
// Freed blocks sit in the quarantine, so the resident size keeps rising; the allocator still
// knows what is in use.
constexpr bool kResidentIsMeasurable = false;
} // namespace
extern "C" size_t __sanitizer_get_current_allocated_bytes(); // the runtime's; this GCC ships no header
namespace {
int64_t heapInUse() { return static_cast<int64_t>(__sanitizer_get_current_allocated_bytes()); }
#else
constexpr bool kResidentIsMeasurable = true;
int64_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<int64_t>(info.uordblks + info.hblkhd);
}
#endif

// Bytes the host's message list holds: the nodes and their texts.
int64_t messageListBytes() {
    SmsRecord* head = nullptr;
    Zentro_GetSMS(&head);
    int64_t bytes = 0;
    for (const SmsRecord* node = head; node != nullptr; node = node->next) {
        bytes += sizeof(SmsRecord);
        for (const char* text : {node->id, node->person, node->address, node->body, node->date, node->type,
                                 node->read, node->threadId, node->reserved}) {
            if (text != nullptr) bytes += static_cast<int64_t>(std::strlen(text)) + 1;
        }
    }
    return bytes;
}

class LeakSoak : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        phone_.exportAdbPort();
        ASSERT_EQ(Zentro_CheckDeviceDetected(0), 0);
        ASSERT_EQ(Zentro_ReadyTodoing(0), 0);
    }
    ztest::VirtualPhone phone_{scenario()};
    ztest::ScratchFolder scratch_;
};

} // namespace

TEST_F(LeakSoak, HundredBulkRefreshesAndDownloadsKeepTheHeapFlat) {
    ASSERT_GT(Zentro_FlushDevicesPhotos(0), 0);
    PhotoInfo photo{};
    ASSERT_EQ(Zentro_GetPhotoInfo(&photo, 0, 0), 0);
    const int64_t photoSize = ztest::mediaSize(photo);
    ASSERT_GT(photoSize, 0);
    const std::string out = scratch_.file("photo.jpg");

    int64_t heapAt10 = 0, residentAt10 = 0, listBytes = 0;
    std::string firstCopy;
    for (int round = 1; round <= kRounds; ++round) {
        ASSERT_EQ(Zentro_FlushSMSAll(0), 0) << "round " << round;
        ASSERT_EQ(Zentro_FlushSMSAll_Count(), kMessages) << "round " << round;
        ASSERT_EQ(Zentro_ExportPhotofromDevice2(photo.id, out.c_str(), photoSize, 0), 0) << "round " << round;
        const std::string copy = ztest::readFile(out);
        ASSERT_EQ(static_cast<int64_t>(copy.size()), photoSize) << "round " << round;
        if (round == 1) firstCopy = copy;
        ASSERT_TRUE(copy == firstCopy) << "round " << round;
        if (round == 10) {
            heapAt10 = heapInUse();
            residentAt10 = ztest::residentBytes();
            listBytes = messageListBytes();
        }
    }
    const int64_t heapGrowth = heapInUse() - heapAt10;
    const int64_t residentGrowth = ztest::residentBytes() - residentAt10;
    std::printf(
        "soak: list %lld bytes, photo %lld bytes; rounds 10..100: heap %+lld bytes, resident %+lld bytes\n",
        static_cast<long long>(listBytes), static_cast<long long>(photoSize),
        static_cast<long long>(heapGrowth), static_cast<long long>(residentGrowth));

    // Ninety rounds of a kept message list would be far above the bound.
    constexpr int64_t kBound = 512 * 1024;
    ASSERT_GT(90 * listBytes, 4 * kBound);
    EXPECT_LT(heapGrowth, kBound);
    if (kResidentIsMeasurable) EXPECT_LT(residentGrowth, 4 * kBound);
}
