// The phone's shell over the device model: what adb install/uninstall/am/getprop/screencap
// rely on, and what a phone answers for commands it does not have.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <zlib.h>

#include "adb/png.h"
#include "adb/shell.h"
#include "scenario.h"

using namespace zsim;
using adb::runShell;

namespace {

uint32_t be32(const std::string& s, size_t at)
{
    return static_cast<uint32_t>(static_cast<unsigned char>(s[at])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 2])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3]));
}

// Walks the chunks, checks every CRC and inflates the picture data: what any decoder does.
::testing::AssertionResult isValidPng(const std::string& png, uint32_t width, uint32_t height)
{
    if (png.substr(0, 8) != std::string("\x89PNG\r\n\x1a\n", 8))
        return ::testing::AssertionFailure() << "no PNG signature";
    size_t at = 8;
    std::string idat;
    bool sawEnd = false;
    while (at + 12 <= png.size()) {
        const uint32_t length = be32(png, at);
        if (at + 12 + length > png.size())
            return ::testing::AssertionFailure() << "chunk past the end";
        const std::string typeAndData = png.substr(at + 4, 4 + length);
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(typeAndData.data()),
                                static_cast<uInt>(typeAndData.size()));
        if (crc != be32(png, at + 8 + length))
            return ::testing::AssertionFailure() << "bad CRC in " << typeAndData.substr(0, 4);
        const std::string type = typeAndData.substr(0, 4);
        if (type == "IHDR" && (be32(typeAndData, 4) != width || be32(typeAndData, 8) != height))
            return ::testing::AssertionFailure() << "wrong size";
        if (type == "IDAT")
            idat += typeAndData.substr(4);
        if (type == "IEND")
            sawEnd = true;
        at += 12 + length;
    }
    if (!sawEnd || at != png.size())
        return ::testing::AssertionFailure() << "no clean IEND";
    std::string raw(height * (1 + 3 * width), '\0');
    uLongf rawSize = raw.size();
    if (uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawSize, reinterpret_cast<const Bytef*>(idat.data()),
                   idat.size()) != Z_OK ||
        rawSize != raw.size())
        return ::testing::AssertionFailure() << "picture data does not inflate to " << raw.size() << " bytes";
    return ::testing::AssertionSuccess();
}

} // namespace

class Shell : public ::testing::Test {
protected:
    std::shared_ptr<Device> phone = makeDevice("ZX1G22ABCD000000", 42);
    Device& d = *phone;
};

TEST_F(Shell, GetpropAnswersOneValueOrAllInBracketForm)
{
    d.setProperty("ro.product.model", "NV-A52");
    EXPECT_EQ(runShell(d, "getprop ro.product.model").output, "NV-A52\n");
    EXPECT_EQ(runShell(d, "getprop ro.nothing").output, "\n");
    const std::string all = runShell(d, "getprop").output;
    EXPECT_NE(all.find("[ro.product.model]: [NV-A52]\n"), std::string::npos);
    EXPECT_NE(all.find("[ro.serialno]: [ZX1G22ABCD000000]\n"), std::string::npos);
}

TEST_F(Shell, InstallStartStopUninstallTheCompanion)
{
    const std::string apk = "stand-in package\npackage=com.vantrey.pocketdesk\r\nmore\n";
    d.files.write("/data/local/tmp/zentrolink.apk", apk);

    // Before the install the activity does not exist, and nothing starts.
    auto start = runShell(d, "am start -n com.vantrey.pocketdesk/com.vantrey.pocketdesk.ui.MainActivity");
    EXPECT_NE(start.output.find("Error type 3"), std::string::npos);
    EXPECT_FALSE(d.companionRunning);

    EXPECT_EQ(runShell(d, "pm 'install' '-r' '/data/local/tmp/zentrolink.apk'").output, "Success\n");
    EXPECT_TRUE(d.hasPackage("com.vantrey.pocketdesk"));
    EXPECT_EQ(d.files.read("/data/app/com.vantrey.pocketdesk-1.apk"), apk);
    EXPECT_EQ(runShell(d, "pm path com.vantrey.pocketdesk").output,
              "package:/data/app/com.vantrey.pocketdesk-1.apk\n");

    start = runShell(d, "am start -n com.vantrey.pocketdesk/com.vantrey.pocketdesk.ui.MainActivity");
    EXPECT_EQ(start.output, "Starting: Intent { cmp=com.vantrey.pocketdesk/.ui.MainActivity }\n");
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
}

TEST_F(Shell, InstallRefusesFilesThatDeclareNoValidPackage)
{
    d.files.write("/data/local/tmp/a.apk", "just bytes\n");
    d.files.write("/data/local/tmp/b.apk", "package=notapackage\n");
    d.files.write("/data/local/tmp/c.apk", "package=com..x\n");
    for (const char* file : {"a", "b", "c"}) {
        auto r = runShell(d, std::string("pm install /data/local/tmp/") + file + ".apk");
        EXPECT_EQ(r.output, "Failure [INSTALL_FAILED_INVALID_APK]\n") << file;
        EXPECT_NE(r.status, 0);
    }
    EXPECT_TRUE(d.packages().empty());
    EXPECT_NE(runShell(d, "pm install /data/local/tmp/missing.apk").output.find("Unable to open file"),
              std::string::npos);
    EXPECT_EQ(adb::packageOfInstallFile("x\npackage=com.a_b.c9\n"), "com.a_b.c9");
}

TEST_F(Shell, UnknownCommandsAnswerAsThePhoneShellDoes)
{
    auto r = runShell(d, "forward --remove-all");
    EXPECT_EQ(r.output, "/system/bin/sh: forward: not found\n");
    EXPECT_EQ(r.status, 127);
    EXPECT_EQ(runShell(d, "/system/bin/nope").output, "/system/bin/sh: /system/bin/nope: not found\n");
    EXPECT_NE(runShell(d, "echo 'unterminated").output.find("syntax error"), std::string::npos);
}

TEST_F(Shell, FilesCommandsAndSequencing)
{
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
    EXPECT_EQ(d.files.read("/sdcard/serial.txt"), "ZX1G22ABCD000000\n");
    runShell(d, "echo more >> /sdcard/serial.txt");
    EXPECT_EQ(d.files.read("/sdcard/serial.txt"), "ZX1G22ABCD000000\nmore\n");
}

TEST_F(Shell, ScreencapWritesAValidPng)
{
    auto r = runShell(d, "/system/bin/screencap -p /sdcard/screenshot.png");
    EXPECT_EQ(r.output, "");
    auto png = d.files.read("/sdcard/screenshot.png");
    ASSERT_TRUE(png);
    EXPECT_TRUE(isValidPng(*png, 180, 320));
    EXPECT_EQ(*png, adb::makeScreenshotPng(d.seed)); // the same phone shows the same screen
    EXPECT_TRUE(isValidPng(runShell(d, "screencap -p").output, 180, 320));
    EXPECT_TRUE(isValidPng(adb::makeScreenshotPng(1, 1, 1), 1, 1));
    EXPECT_TRUE(isValidPng(adb::makeScreenshotPng(1, 99999, -5), 4096, 1));
    EXPECT_NE(runShell(d, "screencap -p /sdcard").output.find("Is a directory"), std::string::npos);
}
