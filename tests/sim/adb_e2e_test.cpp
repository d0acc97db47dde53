// The virtual phone through the real adb client, as the library drives it.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "scenario.h"
#include "virtual_phone.h"

namespace {

const std::string kPhone0 = zsim::defaultSerial(0);
const std::string kPhone1 = zsim::defaultSerial(1);

struct AdbRun {
    std::string output; // standard output and error
    int status = -1;
};

// adb with the given arguments (already quoted for /bin/sh), bounded so a broken server
// fails the test instead of hanging it.
AdbRun adb(const std::string& args, int limitSeconds = 30)
{
    const std::string command = "timeout " + std::to_string(limitSeconds) + " /usr/bin/adb " + args + " 2>&1";
    AdbRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, got);
    int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool contains(const std::vector<std::string>& log, const std::string& entry)
{
    return std::find(log.begin(), log.end(), entry) != log.end();
}

class TempDir {
public:
    TempDir()
    {
        char name[] = "/tmp/zentro-sim-e2e-XXXXXX";
        path_ = ::mkdtemp(name) ? name : "/tmp";
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// One companion exchange: the command, then a 4-byte little-endian length and the reply.
std::string exchange(int port, const std::string& command)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::send(fd, command.data(), command.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(command.size())) {
        unsigned char len[4];
        if (::recv(fd, len, 4, MSG_WAITALL) == 4) {
            const int32_t n = static_cast<int32_t>(len[0] | len[1] << 8 | len[2] << 16 | static_cast<uint32_t>(len[3]) << 24);
            if (n > 0 && n < (1 << 20)) {
                reply.resize(static_cast<size_t>(n));
                if (::recv(fd, reply.data(), reply.size(), MSG_WAITALL) != n)
                    reply = "<short reply>";
            }
        }
    }
    ::close(fd);
    return reply;
}

class AdbE2E : public ::testing::Test {
protected:
    void SetUp() override { phone.exportAdbPort(); }
    std::string sh(const std::string& serial, const std::string& command)
    {
        return adb("-s " + serial + " shell " + command).output;
    }

    ztest::VirtualPhone phone;
    TempDir tmp;
};

} // namespace

TEST_F(AdbE2E, DeviceListAndPropertiesAsTheLibraryReadsThem)
{
    AdbRun list = adb("devices");
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.output, "List of devices attached\n" + kPhone0 + "\tdevice\n" + kPhone1 + "\tdevice\n\n");

    // The phones the executable made from --seed 7 are the ones the library would make.
    auto expected = zsim::makeDevice(kPhone0, zsim::deviceSeed(7, 0));
    for (const char* name : {"ro.build.version.release", "ro.product.model", "ro.product.manufacturer", "ro.build.PDA"})
        EXPECT_EQ(sh(kPhone0, std::string("getprop ") + name), expected->property(name) + "\n") << name;

    auto log = phone.requestLog(kPhone0);
    EXPECT_TRUE(contains(log, "features"));
    EXPECT_TRUE(contains(log, "shell:getprop ro.product.manufacturer"));
    auto server = phone.requestLog("server");
    EXPECT_TRUE(contains(server, "host:devices"));
    EXPECT_TRUE(contains(server, "host:tport:serial:" + kPhone0));
    EXPECT_TRUE(phone.requestLog(kPhone1).empty());

    // What a phone's shell says to a command it does not have (the library sends this one).
    EXPECT_EQ(sh(kPhone0, "forward --remove-all"), "/system/bin/sh: forward: not found\n");
    AdbRun missing = adb("-s NOPE shell getprop ro.product.model");
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.output.find("device 'NOPE' not found"), std::string::npos);
}

TEST_F(AdbE2E, StateChangesShowInTheListAndRefuseCommands)
{
    phone.setState(kPhone0, "offline");
    EXPECT_EQ(adb("devices").output,
              "List of devices attached\n" + kPhone0 + "\toffline\n" + kPhone1 + "\tdevice\n\n");
    AdbRun r = adb("-s " + kPhone0 + " shell getprop ro.product.model");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("device offline"), std::string::npos);

    phone.setState(kPhone0, "unauthorized");
    EXPECT_NE(adb("devices").output.find(kPhone0 + "\tunauthorized\n"), std::string::npos);
    r = adb("-s " + kPhone0 + " shell getprop ro.product.model");
    EXPECT_NE(r.output.find("device unauthorized"), std::string::npos);

    phone.setState(kPhone0, "removed");
    EXPECT_EQ(adb("devices").output, "List of devices attached\n" + kPhone1 + "\tdevice\n\n");
    EXPECT_NE(adb("-s " + kPhone0 + " shell ls").output.find("not found"), std::string::npos);

    phone.setState(kPhone0, "device");
    EXPECT_EQ(adb("-s " + kPhone0 + " shell echo back").output, "back\n");

    // The server outlives kill-server, as a freshly started one would answer.
    EXPECT_EQ(adb("kill-server").status, 0);
    EXPECT_EQ(adb("start-server").status, 0);
    EXPECT_EQ(adb("devices").output,
              "List of devices attached\n" + kPhone0 + "\tdevice\n" + kPhone1 + "\tdevice\n\n");
    EXPECT_TRUE(contains(phone.requestLog("server"), "host:kill"));
}

TEST_F(AdbE2E, PushThenPullIsByteIdentical)
{
    std::mt19937 random(11);
    std::string big(200 * 1024 + 123, '\0'); // several 64 KiB chunks and a partial one
    for (auto& c : big)
        c = static_cast<char>(random());
    const std::map<std::string, std::string> files = {
        {"empty.bin", ""}, {"small.txt", "line one\nline two\r\n"}, {"big.bin", big}};
    for (const auto& [name, bytes] : files) {
        writeFile(tmp.file(name), bytes);
        AdbRun push = adb("-s " + kPhone0 + " push '" + tmp.file(name) + "' '/sdcard/Download/" + name + "' ");
        ASSERT_EQ(push.status, 0) << push.output;
        AdbRun pull = adb("-s " + kPhone0 + " pull \"/sdcard/Download/" + name + "\" \"" + tmp.file(name + ".back") + "\" ");
        ASSERT_EQ(pull.status, 0) << pull.output;
        EXPECT_EQ(readFile(tmp.file(name + ".back")), bytes) << name;
    }
    EXPECT_TRUE(contains(phone.requestLog(kPhone0), "sync:SEND /sdcard/Download/big.bin,33188"));

    // Pushing into a folder keeps the file's name, as on a phone.
    ASSERT_EQ(adb("-s " + kPhone0 + " push '" + tmp.file("small.txt") + "' /sdcard/Music").status, 0);
    EXPECT_EQ(sh(kPhone0, "cat /sdcard/Music/small.txt"), files.at("small.txt"));

    AdbRun missing = adb("-s " + kPhone0 + " pull /sdcard/none.bin '" + tmp.file("none") + "'");
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.output.find("does not exist"), std::string::npos);
}

TEST_F(AdbE2E, InstallStartHandshakeAndUninstall)
{
    writeFile(tmp.file("zentrolink.apk"), "stand-in package\npackage=com.vantrey.pocketdesk\n");
    writeFile(tmp.file("broken.apk"), "no package line\n");

    AdbRun install = adb("-s " + kPhone0 + " install \"" + tmp.file("zentrolink.apk") + "\"");
    EXPECT_EQ(install.status, 0);
    EXPECT_NE(install.output.find("Success"), std::string::npos) << install.output;
    auto log = phone.requestLog(kPhone0);
    EXPECT_TRUE(contains(log, "sync:SEND /data/local/tmp/zentrolink.apk,33188"));
    EXPECT_TRUE(contains(log, "shell:pm 'install' '/data/local/tmp/zentrolink.apk'"));
    EXPECT_TRUE(contains(log, "shell:rm '/data/local/tmp/zentrolink.apk' </dev/null"));
    EXPECT_EQ(sh(kPhone0, "ls /data/local/tmp"), ""); // the pushed copy is gone again

    // The package file is where an export pulls it from.
    ASSERT_EQ(adb("-s " + kPhone0 + " pull /data/app/com.vantrey.pocketdesk-1.apk " + tmp.file("export.apk")).status, 0);
    EXPECT_EQ(readFile(tmp.file("export.apk")), readFile(tmp.file("zentrolink.apk")));

    EXPECT_EQ(sh(kPhone0, "am start -n com.vantrey.pocketdesk/com.vantrey.pocketdesk.ui.MainActivity"),
              "Starting: Intent { cmp=com.vantrey.pocketdesk/.ui.MainActivity }\n");
    AdbRun forward = adb("-s " + kPhone0 + " forward tcp:30148 tcp:20148");
    EXPECT_EQ(forward.status, 0) << forward.output;
    EXPECT_TRUE(contains(phone.requestLog(kPhone0), "forward:tcp:30148;tcp:20148"));
    EXPECT_EQ(exchange(30148, "hello-transfer;"), "HI-PC");

    // A forward of the same port replaces the first; the stopped companion answers nothing.
    ASSERT_EQ(adb("-s " + kPhone0 + " forward tcp:30148 tcp:20149").status, 0);
    EXPECT_EQ(adb("forward --list").output, kPhone0 + " tcp:30148 tcp:20149\n");
    EXPECT_EQ(exchange(30148, "hello-transfer;"), "HI-PC");
    sh(kPhone0, "am force-stop com.vantrey.pocketdesk");
    EXPECT_EQ(exchange(30148, "hello-transfer;"), "");

    // The client refuses uninstall -k itself: only the version and features requests arrive.
    phone.clearRequestLog(kPhone0);
    EXPECT_EQ(adb("-s " + kPhone0 + " uninstall -k com.vantrey.pocketdesk").status, 1);
    EXPECT_EQ(phone.requestLog(kPhone0), std::vector<std::string>{"features"});

    EXPECT_NE(adb("-s " + kPhone0 + " uninstall com.vantrey.pocketdesk").output.find("Success"), std::string::npos);
    EXPECT_TRUE(contains(phone.requestLog(kPhone0), "shell:pm 'uninstall' 'com.vantrey.pocketdesk'"));
    EXPECT_NE(adb("-s " + kPhone0 + " uninstall com.vantrey.pocketdesk").output.find(
                  "Failure [DELETE_FAILED_INTERNAL_ERROR]"),
              std::string::npos);
    EXPECT_NE(sh(kPhone0, "am start -n com.vantrey.pocketdesk/.ui.MainActivity").find("does not exist"),
              std::string::npos);

    EXPECT_NE(adb("-s " + kPhone0 + " install -r -s " + tmp.file("broken.apk")).output.find(
                  "Failure [INSTALL_FAILED_INVALID_APK]"),
              std::string::npos);
    EXPECT_TRUE(contains(phone.requestLog(kPhone0), "shell:pm 'install' '-r' '-s' '/data/local/tmp/broken.apk'"));
    EXPECT_EQ(adb("forward --remove-all").status, 1); // two phones: the client cannot pick one
    EXPECT_EQ(adb("-s " + kPhone0 + " forward --remove-all").status, 0);
    EXPECT_EQ(adb("forward --list").output, "\n");
}

TEST_F(AdbE2E, ScreenshotIsARealPng)
{
    EXPECT_EQ(sh(kPhone1, "/system/bin/screencap -p /sdcard/screenshot.png"), "");
    ASSERT_EQ(adb("-s " + kPhone1 + " pull /sdcard/screenshot.png \"" + tmp.file("shot.png") + "\" ").status, 0);
    const std::string png = readFile(tmp.file("shot.png"));
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");
}

TEST_F(AdbE2E, HangingShellCommandHangsOnlyItself)
{
    ASSERT_EQ(phone.control("hang " + kPhone0 + " am force-stop"), "ok");
    AdbRun hung = adb("-s " + kPhone0 + " shell am force-stop com.vantrey.pocketdesk", 2);
    EXPECT_EQ(hung.status, 124); // killed by timeout, not finished
    EXPECT_EQ(sh(kPhone0, "echo alive"), "alive\n");
    EXPECT_EQ(sh(kPhone1, "am force-stop com.vantrey.pocketdesk"), "");
    ASSERT_EQ(phone.control("unhang " + kPhone0), "ok");
    AdbRun after = adb("-s " + kPhone0 + " shell am force-stop com.vantrey.pocketdesk", 10);
    EXPECT_EQ(after.status, 0);
}

TEST(VirtualPhoneFixture, ScenarioAndExtraArguments)
{
    ztest::VirtualPhone phone(R"({"devices": [{"serial": "SCENARIO01", "state": "unauthorized"}]})",
                              "--seed 9");
    phone.exportAdbPort();
    EXPECT_EQ(adb("devices").output, "List of devices attached\nSCENARIO01\tunauthorized\n\n");
    EXPECT_EQ(phone.control("devices"), "SCENARIO01 unauthorized");
    EXPECT_EQ(phone.control("add EXTRA"), "ok");
    EXPECT_NE(adb("devices").output.find("EXTRA\tdevice\n"), std::string::npos);
}
