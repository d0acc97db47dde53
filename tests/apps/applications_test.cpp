// Applications: the detail record from a scripted companion, and the adb argument strings run
// through a recording stand-in for adb.
#include "apps/applications.h"

#include <gtest/gtest.h>

#include <cstring>

#include "../media/media_companion.h"
#include "platform/test_seams.h"
#include "zentrolink.h"

using namespace zentro;
using linktest::LoopbackPeer;

namespace {

class ApplicationsTest : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        ztest::installChildAsAdb(scratch_.path());
        platform::setHostFolderForTests(scratch_.path());
        platform::setEnv("ZENTRO_CHILD_LOG", runs().c_str());
        core::copyText(core::deviceRow(0)->serial, 64, "SER0");
    }
    void TearDown() override {
        platform::setEnv("ZENTRO_CHILD_LOG", "");
        LinkTest::TearDown();
    }
    std::string runs() const { return scratch_.file("runs.txt"); }
    std::string ranSoFar() const { return ztest::fileExists(runs()) ? ztest::readText(runs()) : ""; }
    ztest::ScratchFolder scratch_;
};

std::string hex(const std::string& text) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

} // namespace

TEST_F(ApplicationsTest, DetailsComeFromTheFirstRecordCutToTheirFields) {
    const std::string reply = "PKG:" + hex("com.a") + ";VERSIONCODE:" + hex("12") + ";SYSTEMAPP:" + hex("1") +
                              ";APPNAME:" + hex(std::string(260, 'L')) + ";SDCARDAPP:" + hex("abc") +
                              ";INSTALLTIME:" + hex("1700000000123") +
                              ";PERMISSIONS:" + hex(std::string(130, 'P')) + ";.PKG:" + hex("com.b") +
                              ";DATASIZE:3132;.";
    LoopbackPeer phone(mediatest::serving(
        [&](const std::string&, const std::string&) { return std::optional<std::string>(reply); }));
    mediatest::rowReaches(1, phone.port());
    AppInfoRecord app;
    std::memset(&app, 0x55, sizeof app);
    ASSERT_EQ(Zentro_GetAppInfo(&app, 4, 1), 0);
    EXPECT_EQ(phone.commands(), std::vector<std::string>{"getappindexinfo:4;"});
    EXPECT_STREQ(app.packageName, "com.a");
    EXPECT_EQ(app.versionCode, 12);
    EXPECT_EQ(app.systemApp, 1);
    EXPECT_EQ(std::string(app.label), std::string(254, 'L'));
    EXPECT_EQ(app.onSdCard, 0);
    int64_t installTime;
    std::memcpy(&installTime, reinterpret_cast<const char*>(&app) + offsetof(AppInfoRecord, installTime), 8);
    EXPECT_EQ(installTime, 1700000000123LL);
    EXPECT_EQ(std::string(app.permissions), std::string(127, 'P'));
    EXPECT_EQ(app.dataSize, 0); // only in the second record
    EXPECT_EQ(app.reserved, 0);
    EXPECT_EQ(app.className[0], '\0');

    // No reply: -1 with the record all zero.
    link::closeChannel(1);
    core::deviceRow(1)->port = 1;
    timings_.sleepMs = [](int) {};
    link::setLinkTimingsForTests(timings_);
    std::memset(&app, 0x55, sizeof app);
    EXPECT_EQ(Zentro_GetAppInfo(&app, 0, 1), -1);
    const AppInfoRecord zero{};
    EXPECT_EQ(std::memcmp(&app, &zero, sizeof app), 0);
}

TEST_F(ApplicationsTest, AdbArgumentsFollowTheModeTemplates) {
    EXPECT_EQ(Zentro_InstallAppToMemory("/pc/my app.apk", 5, 0), 0);
    EXPECT_EQ(Zentro_InstallAppToMemory("/pc/b.apk", 1, 0), 0);
    EXPECT_EQ(Zentro_UnInstallApp("com.a", 2, 0), 0);
    EXPECT_EQ(Zentro_ExportApp("com.a", "/pc/out.apk", 0), 0);
    EXPECT_EQ(ranSoFar(), "-s|SER0|install|-r|-s|/pc/my app.apk\n"
                          "-s|SER0|install|-l|/pc/b.apk\n"
                          "-s|SER0|uninstall|-k|com.a\n"
                          "-s|SER0|pull|/data/app/com.a-1.apk|/pc/out.apk\n");
    EXPECT_TRUE(logHas("ExportApp pkgname=com.a,outfilename=/pc/out.apk\n"));
}

TEST_F(ApplicationsTest, RefusalsRunNothing) {
    EXPECT_EQ(Zentro_InstallAppToMemory("/pc/a.apk", 0, 0), -1);
    EXPECT_EQ(Zentro_InstallAppToMemory("/pc/a.apk", 6, 0), -1);
    EXPECT_EQ(Zentro_UnInstallApp("com.a", 3, 0), -1);
    EXPECT_EQ(Zentro_InstallAppToMemory("/pc/\"a.apk", 4, 0), -1);                  // would regroup arguments
    EXPECT_EQ(Zentro_InstallAppToMemory(std::string(1200, 'a').c_str(), 4, 0), -1); // would be cut
    EXPECT_EQ(Zentro_ExportApp("com.a", std::string(1000, 'o').c_str(), 0), -1);
    EXPECT_EQ(Zentro_MoveAppToMemory(), -1);
    EXPECT_EQ(Zentro_MoveAppToSdCard(), -1);

    core::deviceRow(0)->connectionKind = core::kConnectionWifi;
    EXPECT_EQ(Zentro_InstallAppToMemory("/pc/a.apk", 4, 0), 0);
    EXPECT_EQ(Zentro_UnInstallApp("com.a", 1, 0), -1);
    EXPECT_EQ(Zentro_ExportApp("com.a", "/pc/out.apk", 0), -1);
    EXPECT_EQ(ranSoFar(), "");
    EXPECT_FALSE(logHas("outfilename=/pc/out.apk")); // a WiFi phone is refused before the log line
}
