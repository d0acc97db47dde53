// Detection through the real adb client against the virtual phone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "adb/png.h"
#include "core/state.h"
#include "library_test.h"
#include "virtual_phone.h"
#include "zentrolink.h"

namespace core = zentro::core;

namespace {

const char* const kPhoneA = "ZX1G22ABCD000000";

constexpr const char* kScenario =
    R"({"devices": [{"serial": "ZX1G22ABCD000000", "seed": 100, "properties": {"ro.product.model": "Pixel 7", )"
    R"("ro.product.manufacturer": "Zentro:Labs", "ro.build.version.release": "13", "ro.build.PDA": "G990BXXU1"}}]})";

size_t count(const std::vector<std::string>& log, const std::string& entry) {
    return static_cast<size_t>(std::count(log.begin(), log.end(), entry));
}

class Detection : public ztest::LibraryTest {
protected:
    void start(const std::string& scenario) {
        phone = std::make_unique<ztest::VirtualPhone>(scenario);
        phone->exportAdbPort();
        clearLogs();
    }
    void clearLogs() {
        phone->clearRequestLog("server");
        phone->clearRequestLog(kPhoneA);
    }
    std::vector<std::string> serverLog() { return phone->requestLog("server"); }
    // What phone A was asked to run.
    std::vector<std::string> shellRequests() {
        std::vector<std::string> out;
        for (const std::string& entry : phone->requestLog(kPhoneA)) {
            if (entry.rfind("shell:", 0) == 0) out.push_back(entry);
        }
        return out;
    }

    std::unique_ptr<ztest::VirtualPhone> phone;
};

} // namespace

TEST_F(Detection, OnePhoneCostsOneListingAndFourQueriesAndGivesItsScreen) {
    start(kScenario);
    ASSERT_EQ(Zentro_CheckDeviceDetected(0), 0);

    // Every run of the client opens with a version check: five runs in all.
    const std::vector<std::string> server = serverLog();
    EXPECT_EQ(count(server, "host:version"), 5u);
    EXPECT_EQ(count(server, "host:devices"), 1u);
    EXPECT_EQ(count(server, "host:kill"), 0u);
    EXPECT_EQ(shellRequests(), (std::vector<std::string>{
                                   "shell:getprop ro.build.version.release", "shell:getprop ro.product.model",
                                   "shell:getprop ro.product.manufacturer", "shell:getprop ro.build.PDA"}));
    EXPECT_EQ(core::state().connectAndroidCount, 1);

    DeviceInfoRecord info;
    std::memset(&info, 0x5a, sizeof info);
    ASSERT_EQ(Zentro_GetAndroidDevicesInfo(&info, 0), 0);
    EXPECT_STREQ(info.brand, "Zentro Labs ");
    EXPECT_STREQ(info.serial, kPhoneA);
    EXPECT_STREQ(info.model, "Pixel 7 ");
    EXPECT_STREQ(info.androidVersion, "13\n");
    EXPECT_EQ(uint64_t{info.memTotal}, 0u); // packed: read by value
    std::memset(&info, 0x5a, sizeof info);
    EXPECT_EQ(Zentro_GetAndroidDevicesInfo(&info, 9), -1);
    EXPECT_EQ(std::count(reinterpret_cast<char*>(&info), reinterpret_cast<char*>(&info) + sizeof info, 0),
              static_cast<long>(sizeof info));

    EXPECT_EQ(Zentro_CheckDevicesID(kPhoneA, ""), 0);
    EXPECT_EQ(Zentro_CheckDevicesID(kPhoneA, "ZX1G22ABCD000001"), -1);
    EXPECT_EQ(Zentro_CheckDevicesID("ZX1G22ABCD00000", ""), -1);

    const std::string target = temp.file("shot one.png"); // a blank in the path
    EXPECT_EQ(Zentro_GetAndroidDevicesScreenCap(target.c_str(), 0), 0);
    EXPECT_TRUE(ztest::readFile(target) == zsim::adb::makeScreenshotPng(100)) << "pulled a different file";
    // Nothing reachable: still 0, and no file.
    const std::string none = temp.file("none.png");
    EXPECT_EQ(Zentro_GetAndroidDevicesScreenCap(none.c_str(), 5), 0);
    EXPECT_FALSE(ztest::fileExists(none));
}

TEST_F(Detection, ServerIsRestartedOnlyWhenAPhoneMayComeBack) {
    start(kScenario);
    EXPECT_EQ(Zentro_CheckDeviceDetected(1), -5); // no phone at the index
    const std::vector<std::string> server = serverLog();
    EXPECT_EQ(count(server, "host:devices"), 1u);
    EXPECT_EQ(count(server, "host:kill"), 1u);
    // start-server finds the server again by its version.
    EXPECT_NE(std::find(std::find(server.begin(), server.end(), "host:kill"), server.end(), "host:version"),
              server.end());
    EXPECT_TRUE(shellRequests().empty());
    EXPECT_STREQ(core::state().devices[0].serial, kPhoneA); // the phone at 0 was still listed

    phone->setState(kPhoneA, "offline");
    clearLogs();
    EXPECT_EQ(Zentro_CheckDeviceDetected(0), -2);
    EXPECT_EQ(count(serverLog(), "host:kill"), 1u);
    EXPECT_STREQ(core::state().devices[0].state, "offline");

    phone->setState(kPhoneA, "unauthorized");
    clearLogs();
    EXPECT_EQ(Zentro_CheckDeviceDetected(0), -1);
    EXPECT_EQ(count(serverLog(), "host:devices"), 1u);
    EXPECT_EQ(count(serverLog(), "host:kill"), 0u);
    EXPECT_TRUE(shellRequests().empty());
}

TEST_F(Detection, OversizedListingIsRefusedWithoutRestart) {
    start(kScenario);
    // 28 bytes a line: a hundred phones make more than a listing of adb ever holds.
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(phone->control("add EXTRAPHONE" + std::to_string(1000000000 + i)), "ok");
    }
    clearLogs();
    EXPECT_EQ(Zentro_CheckDeviceDetected(0), -1);
    EXPECT_EQ(count(serverLog(), "host:devices"), 1u);
    EXPECT_EQ(count(serverLog(), "host:kill"), 0u);
    EXPECT_EQ(core::state().connectAndroidCount, 0);
    // The listing stays in the work folder for whoever looks into it.
    EXPECT_GT(ztest::readFile(std::string(core::state().workFolder) + "sdlk000000").size(), 2048u);
}
