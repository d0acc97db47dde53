#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bridge/device_list.h"
#include "bridge/device_properties.h"
#include "core/state.h"

namespace bridge = zentro::bridge;
namespace core = zentro::core;

namespace {

// A device table of its own per test; parsing is pure, so the process-wide one stays untouched.
class DeviceList : public ::testing::Test {
protected:
    // What detection does around each parse.
    void list(std::string text) {
        bridge::clearAdbRows(st);
        bridge::toTextMode(text);
        bridge::parseDeviceList(text.c_str(), st);
    }
    void listPhones(const std::string& lines) { list("List of devices attached\n" + lines + "\n"); }
    std::string serial(int i) const { return st.devices[i].serial; }
    std::string state(int i) const { return st.devices[i].state; }

    core::LibraryState st{};
};

} // namespace

TEST_F(DeviceList, HeaderWithOrWithoutItsBlankKeepsTheWholeSerial) {
    for (const char* header : {"List of devices attached \n", "List of devices attached\n",
                               "List of devices attached \r\n", "List of devices attached\r\n"}) {
        SCOPED_TRACE(header);
        st = core::LibraryState{};
        list(std::string(header) + "0123456789ABCDEF\tdevice\r\n\r\n");
        EXPECT_EQ(st.connectAndroidCount, 1);
        EXPECT_EQ(serial(0), "0123456789ABCDEF");
        EXPECT_EQ(state(0), "device");
        EXPECT_EQ(std::string(st.rememberedSerial[0]), "0123456789ABCDEF");
    }
}

TEST_F(DeviceList, KeepsEveryStateWordAndSkipsWhatIsNotAPhoneLine) {
    list("List of devices attached\n"
         "AAAA0001\toffline\n"
         "AAAA0002\tunauthorized\n"
         "AAAA0003\tno permissions (user in plugdev group); see [http://example.invalid/x/y/z/w]\n"
         "ab\n" // shorter than five characters
         "no tab on this line\n"
         "\tdevice\n"         // no serial
         "AAAA0001\tdevice\n" // already listed
         "AAAA0004\tdevice"); // last piece without its line end
    ASSERT_EQ(st.connectAndroidCount, 3);
    EXPECT_EQ(state(0), "offline");
    EXPECT_EQ(state(1), "unauthorized");
    EXPECT_EQ(state(2).size(), 63u);
    EXPECT_EQ(state(2).substr(0, 14), "no permissions");
    EXPECT_EQ(serial(3), "");
}

TEST_F(DeviceList, TextThatIsNoDeviceListLeavesOnlyTheWifiRows) {
    st.wifiDeviceCount = 1;
    st.connectAndroidCount = 4;
    list("* daemon not running; starting now at tcp:5037\nAAAA0001\tdevice\n");
    EXPECT_EQ(st.connectAndroidCount, 1);
    EXPECT_EQ(serial(0), "");
    list("");
    EXPECT_EQ(st.connectAndroidCount, 1);
}

TEST_F(DeviceList, NeverMoreThanTenRows) {
    std::string phones;
    for (int i = 0; i < 12; ++i) phones += "PHONE" + std::to_string(100 + i) + "\tdevice\n";
    listPhones(phones);
    EXPECT_EQ(st.connectAndroidCount, 10);
    EXPECT_EQ(serial(9), "PHONE109");

    // Behind three WiFi rows only seven phones fit.
    st = core::LibraryState{};
    st.wifiDeviceCount = 3;
    for (int i = 0; i < 3; ++i) {
        st.devices[i].connectionKind = core::kConnectionWifi;
        std::snprintf(st.devices[i].serial, sizeof st.devices[i].serial, "WIFI%d127.0.0.%d", i, i + 2);
    }
    listPhones(phones);
    EXPECT_EQ(st.connectAndroidCount, 10);
    EXPECT_EQ(serial(0), "WIFI0127.0.0.2");
    EXPECT_EQ(serial(3), "PHONE100");
    EXPECT_EQ(serial(9), "PHONE106");
}

TEST_F(DeviceList, PhoneThatJoinedOverWifiIsNotListedTwice) {
    st.wifiDeviceCount = 1;
    st.devices[0].connectionKind = core::kConnectionWifi;
    std::strcpy(st.devices[0].serial, "R58M123456127.0.0.5");
    listPhones("R58M123456\tdevice\n" // the same phone through adb: its serial begins the WiFi serial
               "R58M\tdevice\n"       // any prefix counts as held
               "R58M1234567\tdevice\n");
    ASSERT_EQ(st.connectAndroidCount, 2);
    EXPECT_EQ(serial(0), "R58M123456127.0.0.5");
    EXPECT_EQ(st.devices[0].connectionKind, core::kConnectionWifi);
    EXPECT_EQ(serial(1), "R58M1234567");
    EXPECT_EQ(st.devices[1].connectionKind, core::kConnectionUsb);
}

TEST_F(DeviceList, SerialLongerThanARowIsCutAndListedOnce) {
    const std::string longSerial(80, '5');
    listPhones(longSerial + "\tdevice\n" + longSerial + "\toffline\n" + longSerial + "7\tdevice\n" +
               "SHORT\tdevice\n");
    ASSERT_EQ(st.connectAndroidCount, 2);
    EXPECT_EQ(serial(0), longSerial.substr(0, 63));
    EXPECT_EQ(state(0), "device");
    EXPECT_EQ(serial(1), "SHORT");
}

TEST_F(DeviceList, FirstTwoPhonesKeepTheirIndexes) {
    listPhones("AAAA\tdevice\nBBBB\tdevice\n");
    // Listed the other way round: rows 0 and 1 are swapped back, each state with its serial.
    listPhones("BBBB\toffline\nAAAA\tdevice\n");
    EXPECT_EQ(serial(0) + " " + state(0) + ", " + serial(1) + " " + state(1), "AAAA device, BBBB offline");
    listPhones("AAAA\tdevice\n"); // A alone stays at 0
    EXPECT_EQ(serial(0) + "," + serial(1), "AAAA,");
    listPhones("BBBB\tdevice\n"); // B alone goes back to index 1, where the host knows it
    EXPECT_EQ(st.connectAndroidCount, 1);
    EXPECT_EQ(serial(0) + "," + serial(1), ",BBBB");
    // A third phone never takes the second remembered index.
    listPhones("CCCC\tdevice\nAAAA\tdevice\n");
    EXPECT_EQ(serial(0) + "," + serial(1), "AAAA,CCCC");
    EXPECT_STREQ(st.rememberedSerial[1], "BBBB");
}

TEST_F(DeviceList, LinesOfFiveBytesAreRowsAndShorterOnesAreNot) {
    listPhones("AB\tok\nA\tok");
    EXPECT_EQ(st.connectAndroidCount, 1);
    EXPECT_EQ(serial(0), "AB");
    EXPECT_EQ(state(0), "ok");
}
