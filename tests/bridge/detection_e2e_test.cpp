// Detection through the real adb client against the virtual phone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "adb/png.h"
#include "bridge/detection.h"
#include "core/state.h"
#include "platform/platform.h"
#include "test_support.h"
#include "virtual_phone.h"
#include "zentrolink.h"

namespace bridge = zentro::bridge;
namespace core = zentro::core;
namespace platform = zentro::platform;

namespace {

const char* const kPhoneA = "ZX1G22ABCD000000";
const char* const kPhoneB = "ZX1G22ABCD000001";

std::string phones(const std::vector<std::string>& serials, const std::string& stateA = "device") {
    std::string json = R"({"devices": [)";
    for (size_t i = 0; i < serials.size(); ++i) {
        json += i == 0 ? "" : ",";
        json += R"({"serial": ")" + serials[i] + R"(", "seed": )" + std::to_string(100 + i) +
                R"(, "state": ")" + (i == 0 ? stateA : "device") + R"(", "properties": {)" +
                R"("ro.product.model": "Pixel 7", "ro.product.manufacturer": "Zentro:Labs",)" +
                R"("ro.build.version.release": "13", "ro.build.PDA": "G990BXXU1"}})";
    }
    return json + "]}";
}

std::vector<std::string> withPrefix(const std::vector<std::string>& log, const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& entry : log) {
        if (entry.compare(0, prefix.size(), prefix) == 0) out.push_back(entry);
    }
    return out;
}

size_t count(const std::vector<std::string>& log, const std::string& entry) {
    return static_cast<size_t>(std::count(log.begin(), log.end(), entry));
}

class Detection : public ::testing::Test {
protected:
    void SetUp() override {
        ztest::resetLibraryState();
        bridge::resetBridgeForTests();
        platform::setEnv("XDG_DOCUMENTS_DIR", documents.path().c_str());
        platform::setTempPathForTests(temp.path() + platform::kPathSeparator);
    }
    void TearDown() override {
        ztest::resetLibraryState();
        bridge::resetBridgeForTests();
    }

    void start(const std::string& scenario) {
        phone = std::make_unique<ztest::VirtualPhone>(scenario);
        phone->exportAdbPort();
    }
    std::vector<std::string> serverLog() { return phone->requestLog("server"); }
    void clearLogs(const std::vector<std::string>& serials) {
        phone->clearRequestLog("server");
        for (const std::string& serial : serials) phone->clearRequestLog(serial);
    }

    ztest::ScratchFolder documents, temp;
    std::unique_ptr<ztest::VirtualPhone> phone;
};

} // namespace

TEST_F(Detection, OnePhoneAtIndexZeroCostsOneListingAndFourQueries) {
    start(phones({kPhoneA}));
    clearLogs({kPhoneA});

    ASSERT_EQ(Zentro_CheckDeviceDetected(0), 0);

    // Every run of the client opens with a version check: five runs in all.
    const std::vector<std::string> server = serverLog();
    EXPECT_EQ(count(server, "host:version"), 5u);
    EXPECT_EQ(count(server, "host:devices"), 1u);
    EXPECT_EQ(count(server, "host:kill"), 0u);
    EXPECT_EQ(withPrefix(phone->requestLog(kPhoneA), "shell:"),
              (std::vector<std::string>{"shell:getprop ro.build.version.release",
                                        "shell:getprop ro.product.model",
                                        "shell:getprop ro.product.manufacturer",
                                        "shell:getprop ro.build.PDA"}));

    const core::DeviceEntry& row = core::state().devices[0];
    EXPECT_EQ(core::state().connectAndroidCount, 1);
    EXPECT_STREQ(row.serial, kPhoneA);
    EXPECT_STREQ(row.state, "device");
    EXPECT_STREQ(row.buildPda, "G990BXXU1\n");

    DeviceInfoRecord info;
    std::memset(&info, 0x5a, sizeof info);
    ASSERT_EQ(Zentro_GetAndroidDevicesInfo(&info, 0), 0);
    EXPECT_STREQ(info.brand, "Zentro Labs ");
    EXPECT_STREQ(info.serial, kPhoneA);
    EXPECT_STREQ(info.model, "Pixel 7 ");
    EXPECT_STREQ(info.androidVersion, "13\n");
    // Packed fields: read by value, not by reference.
    const uint64_t memTotal = info.memTotal, sdStorageAvail = info.sdStorageAvail;
    EXPECT_EQ(memTotal, 0u);
    EXPECT_EQ(sdStorageAvail, 0u);

    std::memset(&info, 0x5a, sizeof info);
    EXPECT_EQ(Zentro_GetAndroidDevicesInfo(&info, 9), -1);
    EXPECT_EQ(std::count(reinterpret_cast<char*>(&info), reinterpret_cast<char*>(&info) + sizeof info, 0),
              static_cast<long>(sizeof info));

    EXPECT_EQ(Zentro_CheckDevicesID(kPhoneA, ""), 0);
    EXPECT_EQ(Zentro_CheckDevicesID(kPhoneA, kPhoneB), -1);
    EXPECT_EQ(Zentro_CheckDevicesID("ZX1G22ABCD00000", ""), -1);
}

TEST_F(Detection, NoPhoneAtTheIndexRestartsTheServer) {
    start(phones({kPhoneA}));
    clearLogs({kPhoneA});

    EXPECT_EQ(Zentro_CheckDeviceDetected(1), -5);
    const std::vector<std::string> server = serverLog();
    EXPECT_EQ(count(server, "host:devices"), 1u);
    EXPECT_EQ(count(server, "host:kill"), 1u);
    // start-server finds the server again by its version.
    auto kill = std::find(server.begin(), server.end(), "host:kill");
    EXPECT_NE(std::find(kill, server.end(), "host:version"), server.end());
    EXPECT_TRUE(withPrefix(phone->requestLog(kPhoneA), "shell:").empty());
    // The phone at 0 was still listed.
    EXPECT_STREQ(core::state().devices[0].serial, kPhoneA);
}

TEST_F(Detection, OfflinePhoneRestartsTheServerUnauthorizedDoesNot) {
    start(phones({kPhoneA}, "offline"));
    clearLogs({kPhoneA});
    EXPECT_EQ(Zentro_CheckDeviceDetected(0), -2);
    EXPECT_EQ(count(serverLog(), "host:kill"), 1u);
    EXPECT_STREQ(core::state().devices[0].state, "offline");

    phone->setState(kPhoneA, "unauthorized");
    clearLogs({kPhoneA});
    EXPECT_EQ(Zentro_CheckDeviceDetected(0), -1);
    EXPECT_EQ(count(serverLog(), "host:devices"), 1u);
    EXPECT_EQ(count(serverLog(), "host:kill"), 0u);
    EXPECT_TRUE(withPrefix(phone->requestLog(kPhoneA), "shell:").empty());
}

TEST_F(Detection, TwoPhonesKeepTheirIndexesWhenTheListingFlips) {
    start(phones({kPhoneA, kPhoneB}));
    ASSERT_EQ(Zentro_CheckDeviceDetected(0), 0);
    ASSERT_EQ(Zentro_CheckDeviceDetected(1), 0);
    ASSERT_EQ(Zentro_CheckDevicesID(kPhoneA, kPhoneB), 0);

    // A leaves and comes back: the client now lists B first.
    EXPECT_EQ(phone->control(std::string("remove ") + kPhoneA), "ok");
    EXPECT_EQ(phone->control(std::string("add ") + kPhoneA), "ok");
    const std::string listing = phone->control("devices");
    ASSERT_LT(listing.find(kPhoneB), listing.find(kPhoneA)) << listing;

    EXPECT_EQ(Zentro_CheckDeviceDetected(0), 0);
    EXPECT_EQ(Zentro_CheckDevicesID(kPhoneA, kPhoneB), 0);
    EXPECT_EQ(Zentro_CheckDeviceDetected(1), 0);
    EXPECT_EQ(Zentro_CheckDevicesID(kPhoneA, kPhoneB), 0);
}

TEST_F(Detection, ScreenshotArrivesByteForByte) {
    start(phones({kPhoneA}));
    ASSERT_EQ(Zentro_CheckDeviceDetected(0), 0);
    const std::string target = temp.file("shot one.png"); // a blank in the path
    EXPECT_EQ(Zentro_GetAndroidDevicesScreenCap(target.c_str(), 0), 0);

    const std::string png = ztest::readFile(target);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_TRUE(png == zsim::adb::makeScreenshotPng(100)) << "pulled " << png.size() << " bytes";
    EXPECT_EQ(count(phone->requestLog(kPhoneA), "shell:/system/bin/screencap -p /sdcard/screenshot.png"), 1u);

    // Nothing reachable: still 0, and no file.
    const std::string none = temp.file("none.png");
    EXPECT_EQ(Zentro_GetAndroidDevicesScreenCap(none.c_str(), 5), 0);
    EXPECT_FALSE(ztest::fileExists(none));
}

TEST_F(Detection, WifiRowComesFirstAndNeedsNoAdb) {
    start(phones({kPhoneA}));
    core::LibraryState& st = core::state();
    st.wifiDeviceCount = 1;
    st.devices[0].connectionKind = core::kConnectionWifi;
    std::strcpy(st.devices[0].serial, "WIFI00000001127.0.0.9");
    std::strcpy(st.devices[0].state, "device");
    std::strcpy(st.devices[0].model, "Joined");
    st.devices[0].port = 20148;
    clearLogs({kPhoneA});

    EXPECT_EQ(Zentro_CheckDeviceDetected(0), 0);
    EXPECT_STREQ(st.devices[0].serial, "WIFI00000001127.0.0.9");
    EXPECT_STREQ(st.devices[0].model, "Joined");
    EXPECT_TRUE(withPrefix(phone->requestLog(kPhoneA), "shell:").empty());

    EXPECT_EQ(Zentro_CheckDeviceDetected(1), 0);
    EXPECT_EQ(st.connectAndroidCount, 2);
    EXPECT_STREQ(st.devices[1].serial, kPhoneA);
    EXPECT_STREQ(st.devices[1].model, "Pixel 7 ");
    EXPECT_EQ(withPrefix(phone->requestLog(kPhoneA), "shell:").size(), 4u);

    // Phones that joined again and again count past the table: no row to read there.
    st.wifiDeviceCount = 12;
    clearLogs({kPhoneA});
    EXPECT_EQ(Zentro_CheckDeviceDetected(11), -1);
    EXPECT_EQ(count(serverLog(), "host:kill"), 0u);
}

TEST_F(Detection, OversizedListingIsRefusedWithoutRestart) {
    start(phones({kPhoneA}));
    // 28 bytes a line: a hundred phones make more than a listing of adb ever holds.
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(phone->control("add EXTRAPHONE" + std::to_string(1000000000 + i)), "ok");
    }
    clearLogs({kPhoneA});
    EXPECT_EQ(Zentro_CheckDeviceDetected(0), -1);
    EXPECT_EQ(count(serverLog(), "host:devices"), 1u);
    EXPECT_EQ(count(serverLog(), "host:kill"), 0u);
    EXPECT_EQ(core::state().connectAndroidCount, 0);
    // The listing stays in the work folder for whoever looks into it.
    const std::string left = std::string(core::state().workFolder) + "sdlk000000";
    EXPECT_GT(ztest::readFile(left).size(), 2048u);
}
