// The virtual phone through the real adb client, as the library drives it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "scenario.h"
#include "sim_helpers.h"
#include "virtual_phone.h"

namespace {

const std::string kPhone0 = zsim::defaultSerial(0);
const std::string kPhone1 = zsim::defaultSerial(1);
const std::string kBothListed =
    "List of devices attached\n" + kPhone0 + "\tdevice\n" + kPhone1 + "\tdevice\n\n";

struct AdbRun {
    std::string output; // standard output and error
    int status = -1;
};

// adb with the given arguments (already quoted for /bin/sh), bounded so a broken server
// fails the test instead of hanging it.
AdbRun adb(const std::string& args, int limitSeconds = 30) {
    const std::string command = "timeout " + std::to_string(limitSeconds) + " /usr/bin/adb " + args + " 2>&1";
    AdbRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool contains(const std::vector<std::string>& log, const std::string& entry) {
    return std::find(log.begin(), log.end(), entry) != log.end();
}

std::string readFile(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// One companion exchange on a fresh connection; empty when nothing (or no frame) came back.
std::string exchange(int port, const std::string& command) {
    const int fd = simtest::connectTcp(port);
    const std::string reply = fd < 0 ? "" : simtest::roundTrip(fd, command).value_or("");
    if (fd >= 0) ::close(fd);
    return reply;
}

class AdbE2E : public ::testing::Test {
protected:
    AdbE2E() {
        char name[] = "/tmp/zentro-sim-e2e-XXXXXX";
        dir = ::mkdtemp(name) ? name : "";
    }
    ~AdbE2E() override {
        if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
    }
    void SetUp() override {
        ASSERT_FALSE(dir.empty());
        phone.exportAdbPort();
    }
    std::string file(const std::string& name) const { return dir + "/" + name; }
    std::string sh(const std::string& serial, const std::string& command) {
        return adb("-s " + serial + " shell " + command).output;
    }
    AdbRun on0(const std::string& args) { return adb("-s " + kPhone0 + " " + args); }

    ztest::VirtualPhone phone;
    std::string dir;
};

} // namespace

TEST_F(AdbE2E, DeviceListAndPropertiesAsTheLibraryReadsThem) {
    AdbRun list = adb("devices");
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.output, kBothListed);

    // The phones the executable made from --seed 7 are the ones the library would make.
    auto expected = zsim::makeDevice(kPhone0, zsim::deviceSeed(7, 0));
    for (const char* name :
         {"ro.build.version.release", "ro.product.model", "ro.product.manufacturer", "ro.build.PDA"})
        EXPECT_EQ(sh(kPhone0, std::string("getprop ") + name), expected->property(name) + "\n") << name;

    EXPECT_TRUE(contains(phone.requestLog("server"), "host:tport:serial:" + kPhone0));
    EXPECT_TRUE(phone.requestLog(kPhone1).empty()) << "requests reach only the phone they name";
    AdbRun missing = adb("-s NOPE shell getprop ro.product.model");
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.output.find("device 'NOPE' not found"), std::string::npos);
}

TEST_F(AdbE2E, StateChangesShowInTheListAndRefuseCommands) {
    for (const char* state : {"offline", "unauthorized"}) {
        phone.setState(kPhone0, state);
        EXPECT_EQ(adb("devices").output,
                  "List of devices attached\n" + kPhone0 + "\t" + state + "\n" + kPhone1 + "\tdevice\n\n");
        AdbRun r = on0("shell getprop ro.product.model");
        EXPECT_NE(r.status, 0) << state;
        EXPECT_NE(r.output.find(std::string("device ") + state), std::string::npos) << r.output;
    }
    phone.setState(kPhone0, "device");
    EXPECT_EQ(sh(kPhone0, "echo back"), "back\n");

    // The server outlives kill-server, as a freshly started one would answer.
    EXPECT_EQ(adb("kill-server").status, 0);
    EXPECT_EQ(adb("start-server").status, 0);
    EXPECT_EQ(adb("devices").output, kBothListed);
    EXPECT_TRUE(contains(phone.requestLog("server"), "host:kill"));
}

TEST_F(AdbE2E, PushThenPullIsByteIdentical) {
    std::mt19937 random(11);
    std::string big(200 * 1024 + 123, '\0'); // several 64 KiB chunks and a partial one
    for (auto& c : big) c = static_cast<char>(random());
    const std::map<std::string, std::string> files = {
        {"empty.bin", ""}, {"small.txt", "line one\nline two\r\n"}, {"big.bin", big}};
    for (const auto& [name, bytes] : files) {
        std::ofstream(file(name), std::ios::binary) << bytes;
        AdbRun push = on0("push '" + file(name) + "' '/sdcard/Download/" + name + "' ");
        ASSERT_EQ(push.status, 0) << push.output;
        AdbRun pull = on0("pull \"/sdcard/Download/" + name + "\" \"" + file(name + ".back") + "\" ");
        ASSERT_EQ(pull.status, 0) << pull.output;
        EXPECT_EQ(readFile(file(name + ".back")), bytes) << name;
    }
    EXPECT_TRUE(contains(phone.requestLog(kPhone0), "sync:SEND /sdcard/Download/big.bin,33188"));

    // Pushing into a folder keeps the file's name, as on a phone.
    ASSERT_EQ(on0("push '" + file("small.txt") + "' /sdcard/Music").status, 0);
    EXPECT_EQ(sh(kPhone0, "cat /sdcard/Music/small.txt"), files.at("small.txt"));

    AdbRun missing = on0("pull /sdcard/none.bin '" + file("none") + "'");
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.output.find("does not exist"), std::string::npos);
}

TEST_F(AdbE2E, InstallStartHandshakeAndUninstall) {
    const std::string package = "com.vantrey.pocketdesk";
    std::ofstream(file("zentrolink.apk")) << "stand-in package\npackage=" + package + "\n";
    std::ofstream(file("broken.apk")) << "no package line\n";

    AdbRun install = on0("install \"" + file("zentrolink.apk") + "\"");
    EXPECT_EQ(install.status, 0);
    EXPECT_NE(install.output.find("Success"), std::string::npos) << install.output;
    EXPECT_EQ(sh(kPhone0, "am start -n " + package + "/" + package + ".ui.MainActivity"),
              "Starting: Intent { cmp=" + package + "/.ui.MainActivity }\n");
    EXPECT_EQ(on0("forward tcp:30148 tcp:20148").status, 0);
    EXPECT_EQ(exchange(30148, "hello-transfer;"), "HI-PC");

    // A forward of the same port replaces the first; the stopped companion answers nothing.
    ASSERT_EQ(on0("forward tcp:30148 tcp:20149").status, 0);
    EXPECT_EQ(adb("forward --list").output, kPhone0 + " tcp:30148 tcp:20149\n");
    EXPECT_EQ(exchange(30148, "hello-transfer;"), "HI-PC");
    sh(kPhone0, "am force-stop " + package);
    EXPECT_EQ(exchange(30148, "hello-transfer;"), "");

    // The client refuses uninstall -k itself: only the features request arrives.
    phone.clearRequestLog(kPhone0);
    EXPECT_EQ(on0("uninstall -k " + package).status, 1);
    EXPECT_EQ(phone.requestLog(kPhone0), std::vector<std::string>{"features"});

    EXPECT_NE(on0("uninstall " + package).output.find("Success"), std::string::npos);
    EXPECT_TRUE(contains(phone.requestLog(kPhone0), "shell:pm 'uninstall' '" + package + "'"));
    EXPECT_NE(on0("install -r -s " + file("broken.apk")).output.find("Failure [INSTALL_FAILED_INVALID_APK]"),
              std::string::npos);
    EXPECT_TRUE(
        contains(phone.requestLog(kPhone0), "shell:pm 'install' '-r' '-s' '/data/local/tmp/broken.apk'"));
    EXPECT_EQ(on0("forward --remove-all").status, 0);
    EXPECT_EQ(adb("forward --list").output, "\n");
}
