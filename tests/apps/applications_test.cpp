// Applications: the detail record from a scripted companion, and the adb argument strings run
// through a recording stand-in for adb.
#include "apps/applications.h"

#include <gtest/gtest.h>

#include <cstring>

#include "../media/media_companion.h"
#include "companion/codec.h"
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

template <class Integer>
Integer at(const AppInfoRecord& app, size_t offset) { // packed: read by offset
    Integer value;
    std::memcpy(&value, reinterpret_cast<const char*>(&app) + offset, sizeof value);
    return value;
}

} // namespace

TEST_F(ApplicationsTest, DetailsComeFromTheFirstRecordCutToTheirFields) {
    // Every field with a value of its own; texts past their fields are cut.
    std::string reply;
    zsim::companion::RecordWriter first(reply);
    const std::pair<const char*, std::string> fields[] = {
        {"PKG", "com.a"},
        {"CLS", "com.a.Main"},
        {"APPNAME", std::string(260, 'L')},
        {"VERSION", "1.2"},
        {"VERSIONCODE", "12"},
        {"SYSTEMAPP", "1"},
        {"SDCARDAPP", "abc"},
        {"CACHSEZE", "3"},
        {"DATASIZE", "4"},
        {"CODESIZE", "5"},
        {"TOTALSIZE", "6"},
        {"INSTALLTIME", "1700000000123"},
        {"LASTUPDATETIME", "1700000000456"},
        {"PERMISSIONS", "p.read"}}; // the reply area holds 1,024 bytes
    for (const auto& [key, value] : fields) first.text(key, value);
    first.end();
    reply += "PKG:" + zsim::companion::hexEncode("com.b") + ";DATASIZE:3939;.";
    LoopbackPeer phone(mediatest::serving(
        [&](const std::string&, const std::string&) { return std::optional<std::string>(reply); }));
    mediatest::rowReaches(1, phone.port());
    AppInfoRecord app;
    std::memset(&app, 0x55, sizeof app);
    ASSERT_EQ(Zentro_GetAppInfo(&app, 4, 1), 0);
    EXPECT_EQ(phone.commands(), std::vector<std::string>{"getappindexinfo:4;"});
    EXPECT_STREQ(app.packageName, "com.a");
    EXPECT_STREQ(app.className, "com.a.Main");
    EXPECT_EQ(std::string(app.label), std::string(254, 'L'));
    EXPECT_STREQ(app.versionName, "1.2");
    const size_t numbers[] = {offsetof(AppInfoRecord, versionCode), offsetof(AppInfoRecord, systemApp),
                              offsetof(AppInfoRecord, onSdCard),    offsetof(AppInfoRecord, cacheSize),
                              offsetof(AppInfoRecord, dataSize),    offsetof(AppInfoRecord, codeSize),
                              offsetof(AppInfoRecord, totalSize)};
    const int32_t expected[] = {12, 1, 0, 3, 4, 5, 6};
    for (size_t i = 0; i < 7; ++i) EXPECT_EQ(at<int32_t>(app, numbers[i]), expected[i]) << i;
    EXPECT_EQ(at<int64_t>(app, offsetof(AppInfoRecord, installTime)), 1700000000123LL);
    EXPECT_EQ(at<int64_t>(app, offsetof(AppInfoRecord, lastUpdateTime)), 1700000000456LL);
    EXPECT_STREQ(app.permissions, "p.read");
    EXPECT_EQ(app.reserved, 0);

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
    std::string expected;
    const char* const modes[] = {"-l|", "-r|", "-s|", "", "-r|-s|"}; // modes 1 to 5
    for (int32_t mode = 1; mode <= 5; ++mode) {
        EXPECT_EQ(Zentro_InstallAppToMemory("/pc/my app.apk", mode, 0), 0);
        expected += std::string("-s|SER0|install|") + modes[mode - 1] + "/pc/my app.apk\n";
    }
    EXPECT_EQ(Zentro_UnInstallApp("com.a", 1, 0), 0);
    EXPECT_EQ(Zentro_UnInstallApp("com.a", 2, 0), 0);
    EXPECT_EQ(Zentro_ExportApp("com.a", "/pc/out.apk", 0), 0);
    EXPECT_EQ(ranSoFar(), expected + "-s|SER0|uninstall|com.a\n-s|SER0|uninstall|-k|com.a\n"
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
