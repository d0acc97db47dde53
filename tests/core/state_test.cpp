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

std::vector<int32_t> g_callbackValues;
void ZENTRO_CALL recordCallback(int32_t value) { g_callbackValues.push_back(value); }

} // namespace

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
