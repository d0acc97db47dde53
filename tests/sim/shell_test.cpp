// The phone's shell over the device model: what adb install/uninstall/am/getprop/screencap
// rely on, and what a phone answers for commands it does not have.
#include <gtest/gtest.h>

#include "adb/png.h"
#include "adb/shell.h"
#include "scenario.h"
#include "sim_helpers.h"

using namespace zsim;
using adb::runShell;
using simtest::isValidPng;

class Shell : public ::testing::Test {
protected:
    std::shared_ptr<Device> phone = makeDevice("ZX1G22ABCD000000", 42);
    Device& d = *phone;
};

TEST_F(Shell, GetpropAndCommandsThePhoneDoesNotHave) {
    d.setProperty("ro.product.model", "NV-A52");
    EXPECT_EQ(runShell(d, "getprop ro.product.model").output, "NV-A52\n");
    EXPECT_EQ(runShell(d, "getprop ro.nothing").output, "\n");
    const std::string all = runShell(d, "getprop").output;
    EXPECT_NE(all.find("[ro.product.model]: [NV-A52]\n"), std::string::npos);
    EXPECT_NE(all.find("[ro.serialno]: [ZX1G22ABCD000000]\n"), std::string::npos);

    auto r = runShell(d, "forward --remove-all"); // the library sends this one
    EXPECT_EQ(r.output, "/system/bin/sh: forward: not found\n");
    EXPECT_EQ(r.status, 127);
    EXPECT_EQ(runShell(d, "/system/bin/nope").output, "/system/bin/sh: /system/bin/nope: not found\n");
    EXPECT_NE(runShell(d, "echo 'unterminated").output.find("syntax error"), std::string::npos);
}

TEST_F(Shell, InstallStartStopUninstallTheCompanion) {
    const std::string apk = "stand-in package\npackage=com.vantrey.pocketdesk\r\nmore\n";
    const std::string start = "am start -n com.vantrey.pocketdesk/com.vantrey.pocketdesk.ui.MainActivity";
    d.files.write("/data/local/tmp/zentrolink.apk", apk);

    // Before the install the activity does not exist, and nothing starts.
    EXPECT_NE(runShell(d, start).output.find("Error type 3"), std::string::npos);
    EXPECT_FALSE(d.companionRunning);

    EXPECT_EQ(runShell(d, "pm 'install' '-r' '/data/local/tmp/zentrolink.apk'").output, "Success\n");
    EXPECT_TRUE(d.hasPackage("com.vantrey.pocketdesk"));
    EXPECT_EQ(d.files.read("/data/app/com.vantrey.pocketdesk-1.apk"), apk);
    EXPECT_EQ(runShell(d, "pm path com.vantrey.pocketdesk").output,
              "package:/data/app/com.vantrey.pocketdesk-1.apk\n");

    EXPECT_EQ(runShell(d, start).output,
              "Starting: Intent { cmp=com.vantrey.pocketdesk/.ui.MainActivity }\n");
    EXPECT_TRUE(d.companionRunning);
    runShell(d, "am force-stop com.vantrey.pocketdesk");
    EXPECT_FALSE(d.companionRunning);

    d.companionNeverStarts = true;
    runShell(d, "am start -n com.vantrey.pocketdesk/.ui.MainActivity");
    EXPECT_FALSE(d.companionRunning);
    d.companionNeverStarts = false;
    runShell(d, "am start -n com.vantrey.pocketdesk/.ui.MainActivity");
    EXPECT_TRUE(d.companionRunning);

    EXPECT_EQ(runShell(d, "pm 'uninstall' 'com.vantrey.pocketdesk'").output, "Success\n");
    EXPECT_FALSE(d.companionRunning);
    EXPECT_FALSE(d.files.stat("/data/app/com.vantrey.pocketdesk-1.apk"));
    EXPECT_EQ(runShell(d, "pm 'uninstall' 'com.vantrey.pocketdesk'").output,
              "Failure [DELETE_FAILED_INTERNAL_ERROR]\n");
    EXPECT_NE(runShell(d, start).output.find("does not exist"), std::string::npos);

    // Files that declare no valid package are refused.
    const char* invalid[] = {"just bytes\n", "package=notapackage\n", "package=com..x\n"};
    for (const char* content : invalid) {
        d.files.write("/data/local/tmp/bad.apk", content);
        auto r = runShell(d, "pm install /data/local/tmp/bad.apk");
        EXPECT_EQ(r.output, "Failure [INSTALL_FAILED_INVALID_APK]\n") << content;
        EXPECT_NE(r.status, 0);
    }
    EXPECT_TRUE(d.packages().empty());
    EXPECT_NE(runShell(d, "pm install /data/local/tmp/missing.apk").output.find("Unable to open file"),
              std::string::npos);
    EXPECT_EQ(adb::packageOfInstallFile("x\npackage=com.a_b.c9\n"), "com.a_b.c9");
}

TEST_F(Shell, FilesCommandsAndSequencing) {
    d.files.write("/sdcard/Download/a.txt", "A");
    d.files.write("/sdcard/Download/sub/b.txt", "B");
    EXPECT_EQ(runShell(d, "ls /sdcard/Download").output, "a.txt\nsub\n");
    EXPECT_EQ(runShell(d, "rm /sdcard/Download/sub").output, "rm: /sdcard/Download/sub: Is a directory\n");
    EXPECT_EQ(runShell(d, "rm /sdcard/none").output, "rm: /sdcard/none: No such file or directory\n");
    EXPECT_EQ(runShell(d, "rm -f /sdcard/none").output, "");
    runShell(d, "rm -rf /sdcard/Download/sub");
    EXPECT_FALSE(d.files.stat("/sdcard/Download/sub"));
    EXPECT_TRUE(d.files.stat("/sdcard/Download/a.txt"));

    // && and || follow the status of what ran; output redirection writes into the tree.
    EXPECT_EQ(runShell(d, "cat /sdcard/none 2>/dev/null && echo yes || echo no").output, "no\n");
    runShell(d, "getprop ro.serialno > /sdcard/serial.txt");
    runShell(d, "echo more >> /sdcard/serial.txt");
    EXPECT_EQ(d.files.read("/sdcard/serial.txt"), "ZX1G22ABCD000000\nmore\n");
}

TEST_F(Shell, ScreencapWritesAValidPng) {
    EXPECT_EQ(runShell(d, "/system/bin/screencap -p /sdcard/screenshot.png").output, "");
    auto png = d.files.read("/sdcard/screenshot.png");
    ASSERT_TRUE(png);
    EXPECT_TRUE(isValidPng(*png, 180, 320));
    EXPECT_EQ(*png, adb::makeScreenshotPng(d.seed)); // the same phone shows the same screen
    EXPECT_TRUE(isValidPng(runShell(d, "screencap -p").output, 180, 320));
    EXPECT_TRUE(isValidPng(adb::makeScreenshotPng(1, 1, 1), 1, 1));
    EXPECT_TRUE(isValidPng(adb::makeScreenshotPng(1, 99999, -5), 4096, 1));
    EXPECT_NE(runShell(d, "screencap -p /sdcard").output.find("Is a directory"), std::string::npos);
}
