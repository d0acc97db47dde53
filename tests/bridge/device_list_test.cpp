#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "bridge/device_list.h"
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
    // The listed rows as "serial state", comma-separated.
    std::string rows() const {
        std::string out;
        for (int i = 0; i < st.connectAndroidCount; ++i) out += (i ? "," : "") + serial(i) + " " + state(i);
        return out;
    }

    core::LibraryState st{};
};

} // namespace

TEST_F(DeviceList, ListingsBecomeRowsBehindTheWifiRows) {
    const std::string head = "List of devices attached\n",
                      noPermission =
                          "no permissions (user in plugdev group); see [http://example.invalid/x/y/z/w]";
    std::string twelve, listed[11]; // listed[n]: the first n phones as rows
    for (int i = 0; i < 12; ++i) twelve += "PHONE" + std::to_string(100 + i) + "\tdevice\n";
    for (int n = 1; n <= 10; ++n) listed[n] = listed[n - 1] + ",PHONE" + std::to_string(99 + n) + " device";
    const std::string longSerial(80, '5');
    const struct {
        int wifiRows; // rows "WIFI<i>127.0.0.<i+2>" that joined over WiFi
        std::string text;
        std::string rows;
    } cases[] = {
        // The header with or without its blank, and CRLF line ends: the whole serial is kept.
        {0, "List of devices attached \n0123456789ABCDEF\tdevice\r\n\r\n", "0123456789ABCDEF device"},
        {0, "List of devices attached\r\n0123456789ABCDEF\tdevice\r\n\r\n", "0123456789ABCDEF device"},
        {0, "List of devices attached \r\nAB\tok\n", "AB ok"},
        // Every state word is kept (cut to its field); what is not a phone line is skipped.
        {0,
         head + "AAAA0001\toffline\nAAAA0002\tunauthorized\nAAAA0003\t" + noPermission +
             "\nab\nno tab on this line\n\tdevice\nAAAA0001\tdevice\nAAAA0004\tdevice",
         "AAAA0001 offline,AAAA0002 unauthorized,AAAA0003 " + noPermission.substr(0, 63)},
        // Lines of five bytes are rows, shorter ones are not.
        {0, head + "AB\tok\nA\tok\n", "AB ok"},
        // Text that is no device list leaves only the WiFi rows.
        {1, "* daemon not running; starting now at tcp:5037\nAAAA0001\tdevice\n", "WIFI0127.0.0.2 "},
        {1, "", "WIFI0127.0.0.2 "},
        // Never more than ten rows.
        {0, head + twelve, listed[10].substr(1)},
        {3, head + twelve, "WIFI0127.0.0.2 ,WIFI1127.0.0.3 ,WIFI2127.0.0.4 " + listed[7]},
        // A phone that joined over WiFi is not listed again: any prefix of its row counts as held.
        {1, head + "WIFI0\tdevice\nWIFI\tdevice\nWIFI0X\tdevice\n", "WIFI0127.0.0.2 ,WIFI0X device"},
        // A serial longer than a row is cut, and then listed once.
        {0,
         head + longSerial + "\tdevice\n" + longSerial + "\toffline\n" + longSerial +
             "7\tdevice\nSHORT\tdevice\n",
         longSerial.substr(0, 63) + " device,SHORT device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        st = core::LibraryState{};
        st.wifiDeviceCount = c.wifiRows;
        for (int i = 0; i < c.wifiRows; ++i) {
            st.devices[i].connectionKind = core::kConnectionWifi;
            std::snprintf(st.devices[i].serial, sizeof st.devices[i].serial, "WIFI%d127.0.0.%d", i, i + 2);
        }
        list(c.text);
        EXPECT_EQ(rows(), c.rows);
        for (int i = c.wifiRows; i < st.connectAndroidCount; ++i)
            EXPECT_EQ(st.devices[i].connectionKind, core::kConnectionUsb);
    }
    EXPECT_STREQ(st.rememberedSerial[0], longSerial.substr(0, 63).c_str());
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
