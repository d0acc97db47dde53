#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bridge/test_seams.h"
#include "bridge/usb_watcher.h"
#include "core/state.h"
#include "library_test.h"
#include "platform/test_seams.h"
#include "platform/usb.h"
#include "usb_bus.h"
#include "zentrolink.h"

namespace bridge = zentro::bridge;
namespace core = zentro::core;
namespace platform = zentro::platform;

namespace {

std::mutex g_callsMutex;
std::vector<int32_t> g_values;
std::vector<std::thread::id> g_threads;

void ZENTRO_CALL recordUsb(int32_t value) {
    std::lock_guard<std::mutex> lock(g_callsMutex);
    g_values.push_back(value);
    g_threads.push_back(std::this_thread::get_id());
}

std::vector<int32_t> values() {
    std::lock_guard<std::mutex> lock(g_callsMutex);
    return g_values;
}

// Hands the watcher the kernel's message of a USB device or interface coming or going.
bool inject(const std::string& action, const std::string& devtype) {
    return platform::injectUeventForTests(
        usbtest::uevent({action + "@/devices/pci0000:00/0000:00:14.0/usb1/1-1", "ACTION=" + action,
                         "SUBSYSTEM=usb", "DEVTYPE=" + devtype}));
}

bool waitForOneSource() {
    return ztest::waitFor([] { return platform::deviceChangeSourceCount() >= 1; }) &&
           platform::deviceChangeSourceCount() == 1;
}

class UsbWatcher : public ztest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        g_values.clear(); // no callback is set before the test sets one
        g_threads.clear();
        platform::setSysfsRootForTests(sysfs.path());
        ztest::recordAdbRunsIn(host.path());
    }
    void TearDown() override {
        platform::setSysfsRootForTests("");
        LibraryTest::TearDown();
    }

    // A phone of a known maker; with debugging on it has the debug interface.
    void plugPhone(const std::string& name, const std::string& product, bool debugging) {
        const auto device = usbtest::addDevice(sysfs.path(), name, "04e8", product);
        if (debugging) usbtest::addInterface(device / (name + ":1.1"));
    }
    void unplugAll() { usbtest::fs::remove_all(usbtest::fs::path(sysfs.path()) / "bus"); }

    ztest::ScratchFolder host, sysfs;
};

} // namespace

TEST_F(UsbWatcher, InitStartsOneWatcherWhoseEventsReachTheCallbackOnItsThread) {
    // However often Init runs, and after a shut-down too.
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Zentro_Init(), 0);
    ASSERT_TRUE(waitForOneSource());
    EXPECT_EQ(Zentro_UnInit(), 0);
    EXPECT_EQ(Zentro_Init(), 0);
    EXPECT_EQ(bridge::startUsbWatcher(), 0);
    EXPECT_EQ(bridge::watcherThreadsCreated(), 1);
    EXPECT_EQ(platform::deviceChangeSourceCount(), 1);

    const bool sysfs = platform::deviceIdsComeFromSysfs(); // else the system's own bus is listed
    if (sysfs) plugPhone("1-4", "6860", true);
    Zentro_SetUSBCallBack(recordUsb);

    ASSERT_TRUE(inject("add", "usb_device"));
    ASSERT_EQ(values(), std::vector<int32_t>{ZENTRO_USB_ARRIVAL});
    EXPECT_NE(g_threads[0], std::this_thread::get_id());
    if (sysfs) {
        EXPECT_EQ(bridge::usbListSnapshot().count, 1);
    } // enumerated before the call

    if (sysfs) unplugAll();
    ASSERT_TRUE(inject("remove", "usb_device"));
    EXPECT_EQ(values(), (std::vector<int32_t>{ZENTRO_USB_ARRIVAL, ZENTRO_USB_REMOVAL}));
    EXPECT_EQ(g_threads[1], g_threads[0]);
    if (sysfs) {
        EXPECT_EQ(bridge::usbListSnapshot().count, 0);
    }
    EXPECT_TRUE(logHas("USB Remove 1 \n"));

    // An interface coming or going is part of a device change already reported.
    ASSERT_TRUE(inject("add", "usb_interface"));
    ASSERT_TRUE(inject("remove", "usb_interface"));
    EXPECT_EQ(values().size(), 2u);

    // Without a callback the watcher only enumerates again.
    Zentro_SetUSBCallBack(nullptr);
    if (sysfs) plugPhone("1-4", "6860", true);
    ASSERT_TRUE(inject("add", "usb_device"));
    ASSERT_TRUE(inject("remove", "usb_device"));
    EXPECT_EQ(values().size(), 2u);
    if (sysfs) {
        EXPECT_EQ(bridge::usbListSnapshot().count, 1);
    }
}

TEST_F(UsbWatcher, CountAddsWifiPhonesAndForgetsSerialsWhenThereAreNone) {
    if (!platform::deviceIdsComeFromSysfs()) GTEST_SKIP() << "needs a USB bus of the test's own";
    core::LibraryState& st = core::state();
    std::strcpy(st.rememberedSerial[0], "AAAA");
    std::strcpy(st.rememberedSerial[1], "BBBB");
    st.connectAndroidCount = 3;
    plugPhone("1-1", "6860", false);
    plugPhone("1-2", "6877", true);
    st.wifiDeviceCount = 1;
    EXPECT_EQ(Zentro_CheckConnectDeviceToPC_Count(), 3);
    EXPECT_STREQ(st.rememberedSerial[0], "AAAA");

    unplugAll();
    st.wifiDeviceCount = 0;
    EXPECT_EQ(Zentro_CheckConnectDeviceToPC_Count(), 0);
    EXPECT_STREQ(st.rememberedSerial[0], "");
    EXPECT_STREQ(st.rememberedSerial[1], "");
    EXPECT_TRUE(logHas("CheckConnectDeviceToPC_Count st_connectAndroidCount = 3, ret = 0\n"));
    EXPECT_EQ(ztest::takeAdbRuns(), ""); // counting never runs adb
}

TEST_F(UsbWatcher, DetectionAsksNothingOfWifiRowsAndReadsNoRowPastTheTable) {
    // This "adb" lists no phone, so only the WiFi rows are there.
    core::LibraryState& st = core::state();
    st.wifiDeviceCount = 1;
    st.devices[0].connectionKind = core::kConnectionWifi;
    std::strcpy(st.devices[0].serial, "WIFI00000001127.0.0.9");
    std::strcpy(st.devices[0].model, "Joined");
    EXPECT_EQ(Zentro_CheckDeviceDetected(0), 0);
    EXPECT_STREQ(st.devices[0].model, "Joined");
    // Phones that joined again and again count past the ten rows.
    st.wifiDeviceCount = 12;
    EXPECT_EQ(Zentro_CheckDeviceDetected(11), -1);
    EXPECT_EQ(ztest::takeAdbRuns(), "devices\ndevices\n"); // no property read, no server restart
}
