#include <gtest/gtest.h>

#include <vector>

#include "core/state.h"
#include "core/test_seams.h"
#include "test_support.h"
#include "zentrolink.h"

namespace core = zentro::core;

namespace {

class LibraryState : public ::testing::Test {
protected:
    void SetUp() override { ztest::resetLibraryState(); }
    void TearDown() override { ztest::resetLibraryState(); }
};

std::vector<size_t> g_requested;
int g_failuresAtMinimum = 0;

// Refuses every size above the minimum, and the minimum itself a given number of times.
void* scarceAllocate(size_t size) {
    g_requested.push_back(size);
    if (size > 4096) return nullptr;
    if (g_failuresAtMinimum > 0) {
        --g_failuresAtMinimum;
        return nullptr;
    }
    return std::malloc(size);
}

void* refuseAll(size_t) { return nullptr; }

std::vector<int32_t> g_callbackValues;
void ZENTRO_CALL recordCallback(int32_t value) { g_callbackValues.push_back(value); }

} // namespace

TEST_F(LibraryState, TransferBufferHalvesDownToFourKilobytesWhenMemoryIsShort) {
    g_requested.clear();
    g_failuresAtMinimum = 2;
    core::setAllocatorForTests(scarceAllocate);
    core::ensureTransferBuffer();
    EXPECT_EQ(g_requested, (std::vector<size_t>{102400, 51200, 25600, 12800, 6400, 4096, 4096, 4096}));
    EXPECT_EQ(core::transferBufferSize(), 4096);
    ASSERT_NE(core::transferBuffer(), nullptr);

    // Once there, it is never allocated again.
    core::ensureTransferBuffer();
    EXPECT_EQ(g_requested.size(), 8u);
}

TEST_F(LibraryState, ReplyBufferReportsFailureAndTriesAgainNextTime) {
    core::setAllocatorForTests(refuseAll);
    char* buffer = reinterpret_cast<char*>(1);
    EXPECT_EQ(core::sharedReplyBuffer(&buffer), core::kReplyBufferSize);
    EXPECT_EQ(buffer, nullptr);

    core::setAllocatorForTests(nullptr);
    EXPECT_EQ(core::sharedReplyBuffer(&buffer), 5242880);
    ASSERT_NE(buffer, nullptr);
    char* again = nullptr;
    core::sharedReplyBuffer(&again);
    EXPECT_EQ(again, buffer);
}

TEST_F(LibraryState, CallbacksAreCalledOnlyWhileRegistered) {
    g_callbackValues.clear();
    core::notifyUsb(ZENTRO_USB_ARRIVAL); // nothing registered: nothing happens
    EXPECT_EQ(Zentro_SetUSBCallBack(recordCallback), 0);
    EXPECT_EQ(Zentro_SetWiFiConnectCallBack(recordCallback), 0);
    core::notifyUsb(ZENTRO_USB_REMOVAL);
    core::notifyWifi(0);
    EXPECT_EQ(Zentro_SetUSBCallBack(nullptr), 0);
    core::notifyUsb(ZENTRO_USB_ARRIVAL);
    EXPECT_EQ(g_callbackValues, (std::vector<int32_t>{101, 0}));
}

TEST_F(LibraryState, CopyTextIsBoundedAndTerminated) {
    char small[4] = {'x', 'x', 'x', 'x'};
    core::copyText(small, sizeof small, "abcdef");
    EXPECT_STREQ(small, "abc");
    core::copyText(small, sizeof small, nullptr);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(core::deviceRow(10), nullptr);
    EXPECT_EQ(core::deviceRow(-1), nullptr);
    EXPECT_EQ(core::deviceRow(9), &core::state().devices[9]);
}
