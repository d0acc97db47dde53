// What a phone or the host names (serials, package and file names, paths) reaches adb as the one
// argument it is: every place that puts one on a command line refuses what would split or
// extend it, runs no child and logs why, and keeps the exact line for ordinary input.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "../media/media_companion.h"
#include "bridge/device_properties.h"
#include "bridge/test_seams.h"
#include "core/test_seams.h"
#include "link/command_channel.h"
#include "link/companion_bootstrap.h"
#include "link/test_seams.h"
#include "platform/files.h"
#include "platform/test_seams.h"
#include "zentrolink.h"

using namespace zentro;

namespace {

constexpr const char* kPhotoPathCommand = "getfilepathForid:1;";

class AdbArguments : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        ztest::recordAdbRunsIn(host_.path());
        bridge::setRunnerTimingsForTests({/*boundedMs=*/2000, /*captureMs=*/2000, /*turnPollMs=*/5});
        timings_.forwardSleepMs = 0;
        timings_.sleepMs = [](int) {};
        timings_.usbLocalPortBase = 1; // index 1 forwards, then finds no one listening
        link::setLinkTimingsForTests(timings_);
        // Index 0: a USB phone whose companion is already connected; index 1: one not yet.
        mediatest::rowReaches(0, phone_.port());
        core::deviceRow(0)->connectionKind = core::kConnectionUsb;
        ASSERT_EQ(link::ensureChannel(0, "127.0.0.1", phone_.port()), 0);
    }
    void setSerial(const std::string& serial) {
        for (int index : {0, 1}) core::copyText(core::deviceRow(index)->serial, 64, serial.c_str());
    }
    // Whether a refusal was logged since the last look.
    bool refused() {
        const bool logged = logHas("Refused ");
        core::resetLogForTests();
        return logged;
    }

    ztest::ScratchFolder host_;
    std::string phonePath_ = "/storage/emulated/0/DCIM/p.jpg";
    linktest::LoopbackPeer phone_{mediatest::serving([this](const std::string& command, const std::string&) {
        if (command == "getExternalStoragePath;") return std::optional<std::string>("/storage/emulated/0");
        if (command == kPhotoPathCommand) return std::optional<std::string>(phonePath_);
        if (command.rfind("checkFileisExist:", 0) == 0)
            return std::optional<std::string>(mediatest::littleEndian(0));
        return std::optional<std::string>(mediatest::littleEndian(1));
    })};
};

struct Place {
    const char* name;
    std::function<int()> call;
    int refused;                // the call's result when it refuses
    std::string firstLine = {}; // the first command line it runs for serial SER0
};

int sendOnIndexOne() {
    char reply[4] = {};
    return link::sendCommand("getsmsCount;", reply, sizeof reply, nullptr, 0, 1);
}

} // namespace

TEST_F(AdbArguments, EveryPlaceASerialEntersRefusesOneThatWouldNotStayOneWord) {
    const std::string package = link::kCompanionPackage;
    const std::vector<Place> places = {
        {"force-stop", [] { return link::forceStopCompanion(0); }, -1,
         "-s|SER0|shell|am|force-stop|" + package},
        {"old package uninstall", [] { return link::removeOldPackages(0); }, -1,
         std::string("-s|SER0|uninstall|") + link::kOldCompanionPackage},
        {"companion install", [] { return link::installCompanion(0); }, -1,
         "-s|SER0|install|" + host_.path() + platform::kPathSeparator + link::kCompanionPackageFile},
        {"activity start", [] { return link::startCompanion(0); }, -1,
         "-s|SER0|shell|am|start|-n|" + package + "/" + link::kCompanionActivity},
        {"port forward", sendOnIndexOne, -1, "-s|SER0|shell|forward|--remove-all"},
        {"property query", [] { return bridge::readDeviceProperties(0) ? 0 : -1; }, -1,
         "-s|SER0|shell|getprop|ro.build.version.release"},
        {"screenshot", [] { return Zentro_GetAndroidDevicesScreenCap("/pc/s.png", 0); }, 0,
         "-s|SER0|shell|/system/bin/screencap|-p|/sdcard/screenshot.png"},
        {"app install", [] { return Zentro_InstallAppToMemory("/pc/a.apk", 4, 0); }, -1,
         "-s|SER0|install|/pc/a.apk"},
        {"app uninstall", [] { return Zentro_UnInstallApp("com.a", 1, 0); }, -1, "-s|SER0|uninstall|com.a"},
        {"app export", [] { return Zentro_ExportApp("com.a", "/pc/a.apk", 0); }, -1,
         "-s|SER0|pull|/data/app/com.a-1.apk|/pc/a.apk"},
        {"push", [] { return Zentro_addPhoto("/pc/a.jpg", "a.jpg", 0); }, -1,
         "-s|SER0|push|/pc/a.jpg|/sdcard/Images/a.jpg"},
        {"pull", [] { return Zentro_ExportPhotofromDevice(1, "/pc/p.jpg", 10, 0); }, -1,
         "-s|SER0|pull|/sdcard/DCIM/p.jpg|/pc/p.jpg"},
    };
    const std::vector<std::string> hostile = {"SER0 shell reboot", "SER\"0", "SER0;reboot",
                                              "$(reboot)",         "-d",     "SER\xc9"};
    for (const Place& place : places) {
        for (const std::string& serial : hostile) {
            setSerial(serial);
            EXPECT_EQ(place.call(), place.refused) << place.name << " / " << serial;
            EXPECT_EQ(ztest::takeAdbRuns(), "") << place.name << " / " << serial;
            EXPECT_TRUE(refused()) << place.name << " / " << serial;
        }
        setSerial("SER0");
        place.call();
        const std::string ran = ztest::takeAdbRuns();
        EXPECT_EQ(ran.substr(0, ran.find('\n')), place.firstLine) << place.name;
        EXPECT_FALSE(refused()) << place.name;
    }
    // Serials adb prints for emulators, network phones and discovered services stay as they are.
    for (const char* serial : {"emulator-5554", "192.168.1.7:5555", "adb-R58M30_x._adb-tls-connect._tcp"}) {
        setSerial(serial);
        EXPECT_EQ(link::forceStopCompanion(0), 0);
        EXPECT_EQ(ztest::takeAdbRuns(),
                  "-s|" + std::string(serial) + "|shell|am|force-stop|" + package + "\n");
    }
}

TEST_F(AdbArguments, NamesThatWouldSplitOrRegroupTheLineRunNothing) {
    setSerial("SER0");
    const std::vector<Place> places = {
        {"installed package ending in a backslash",
         [] { return Zentro_InstallAppToMemory("C:\\pc\\", 4, 0); }, -1},
        {"package name with a blank", [] { return Zentro_UnInstallApp("com.a -k", 1, 0); }, -1},
        {"package name read as an option", [] { return Zentro_UnInstallApp("-k", 1, 0); }, -1},
        {"exported package name", [] { return Zentro_ExportApp("com.a;x", "/pc/a.apk", 0); }, -1},
        {"export path with a blank", [] { return Zentro_ExportApp("com.a", "/pc/my apps/a.apk", 0); }, -1},
        {"export path with a quote", [] { return Zentro_ExportApp("com.a", "/pc/a\".apk", 0); }, -1},
        {"screenshot path with a quote", [] { return Zentro_GetAndroidDevicesScreenCap("/pc/s\" x", 0); }, 0},
        {"pushed PC file with a quote", [] { return Zentro_addPhoto("/pc/a\" b.jpg", "a.jpg", 0); }, -1},
        {"phone name ending in a backslash", [] { return Zentro_addPhoto("/pc/a.jpg", "a\\", 0); }, -1},
        {"pulled into a folder ending in a backslash",
         [] { return Zentro_ExportPhotofromDevice(1, "C:\\out\\", 10, 0); }, -1},
    };
    for (const Place& place : places) {
        EXPECT_EQ(place.call(), place.refused) << place.name;
        EXPECT_EQ(ztest::takeAdbRuns(), "") << place.name;
        EXPECT_TRUE(refused()) << place.name;
    }

    // The phone names the file to pull: its answer is held to the same rule.
    phonePath_ = "/storage/emulated/0/DCIM/p\\";
    EXPECT_EQ(Zentro_ExportPhotofromDevice(1, "/pc/p.jpg", 10, 0), -1);
    EXPECT_EQ(ztest::takeAdbRuns(), "");
    EXPECT_TRUE(refused());

    // The companion package lies in the host folder, whose name the host's installer chose.
    platform::setHostFolderForTests(host_.file("a\"b"));
    EXPECT_EQ(link::installCompanion(0), -1);
    EXPECT_TRUE(refused());
}

TEST_F(AdbArguments, ApplicationModesFollowTheirTemplatesAndWhatCannotRunRunsNothing) {
    setSerial("SER0");
    std::string expected;
    const char* const modes[] = {"-l|", "-r|", "-s|", "", "-r|-s|"}; // modes 1 to 5
    for (int32_t mode = 1; mode <= 5; ++mode) {
        EXPECT_EQ(Zentro_InstallAppToMemory("/pc/my app.apk", mode, 0), 0);
        expected += std::string("-s|SER0|install|") + modes[mode - 1] + "/pc/my app.apk\n";
    }
    EXPECT_EQ(Zentro_UnInstallApp("com.a", 2, 0), 0);
    EXPECT_EQ(Zentro_ExportApp("com.a", "/pc/out.apk", 0), 0);
    EXPECT_EQ(ztest::takeAdbRuns(),
              expected + "-s|SER0|uninstall|-k|com.a\n-s|SER0|pull|/data/app/com.a-1.apk|/pc/out.apk\n");
    EXPECT_TRUE(logHas("ExportApp pkgname=com.a,outfilename=/pc/out.apk\n"));

    // Modes out of range, lines that would be cut, moves, and WiFi phones for what needs adb.
    EXPECT_EQ(Zentro_InstallAppToMemory("/pc/a.apk", 0, 0), -1);
    EXPECT_EQ(Zentro_InstallAppToMemory("/pc/a.apk", 6, 0), -1);
    EXPECT_EQ(Zentro_UnInstallApp("com.a", 3, 0), -1);
    EXPECT_EQ(Zentro_InstallAppToMemory(std::string(1200, 'a').c_str(), 4, 0), -1);
    EXPECT_EQ(Zentro_ExportApp("com.a", std::string(1000, 'o').c_str(), 0), -1);
    EXPECT_EQ(Zentro_MoveAppToMemory(), -1);
    EXPECT_EQ(Zentro_MoveAppToSdCard(), -1);
    core::deviceRow(0)->connectionKind = core::kConnectionWifi;
    EXPECT_EQ(Zentro_InstallAppToMemory("/pc/a.apk", 4, 0), 0);
    EXPECT_EQ(Zentro_UnInstallApp("com.a", 1, 0), -1);
    EXPECT_EQ(Zentro_ExportApp("com.a", "/pc/wifi.apk", 0), -1);
    EXPECT_EQ(ztest::takeAdbRuns(), "");
    EXPECT_FALSE(logHas("outfilename=/pc/wifi.apk")); // a WiFi phone is refused before the log line
}
