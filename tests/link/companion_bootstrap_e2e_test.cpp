// Preparation end to end: the real adb client, the virtual phone behind it, the companion on
// the forwarded port 30148.
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bridge/adb_runner.h"
#include "core/log.h"
#include "core/state.h"
#include "link/command_channel.h"
#include "platform/platform.h"
#include "test_support.h"
#include "virtual_phone.h"
#include "zentrolink.h"

using namespace zentro;

namespace {

constexpr const char* kSerial = "ZX1G22ABCD000000";

std::string scenario(const std::string& deviceExtras = "") {
    return std::string(R"({"devices":[{"serial":")") + kSerial + "\"" + deviceExtras + "}]}";
}

// Polls the progress from a second thread, as a host does, and keeps each change; the start
// value is read before the thread runs and the end value after it stopped.
class ProgressWatcher {
public:
    ProgressWatcher() : last_(Zentro_GetReadyTodoProgress()) {
        thread_ = std::thread([this] {
            while (!stop_.load()) {
                look();
                std::this_thread::yield();
            }
        });
    }
    std::vector<int32_t> stop() {
        stop_.store(true);
        thread_.join();
        look();
        return seen_;
    }

private:
    void look() {
        const int32_t now = Zentro_GetReadyTodoProgress();
        if (now != last_) seen_.push_back(last_ = now);
    }
    int32_t last_;
    std::atomic<bool> stop_{false};
    std::vector<int32_t> seen_;
    std::thread thread_;
};

// True when every expected entry starts one of the log's entries, in this order.
::testing::AssertionResult inOrder(const std::vector<std::string>& log, const std::vector<std::string>& expected) {
    size_t at = 0;
    for (const std::string& want : expected) {
        while (at < log.size() && log[at].rfind(want, 0) != 0) ++at;
        if (at == log.size()) {
            std::ostringstream all;
            for (const std::string& entry : log) all << "\n  " << entry;
            return ::testing::AssertionFailure() << "\"" << want << "\" missing or out of order in:" << all.str();
        }
        ++at;
    }
    return ::testing::AssertionSuccess();
}

class CompanionBootstrapE2e : public ::testing::Test {
protected:
    void SetUp() override {
        ztest::resetLibraryState();
        link::resetLinkForTests();
        platform::setEnv("XDG_DOCUMENTS_DIR", documents_.path().c_str());
        core::resetLogForTests();
    }

    void TearDown() override {
        link::resetLinkForTests();
        ztest::resetLibraryState();
    }

    // Fills device row 0 the way the host does, through detection.
    void detect(ztest::VirtualPhone& phone) {
        phone.exportAdbPort();
        ASSERT_EQ(Zentro_CheckDeviceDetected(0), 0);
        ASSERT_STREQ(core::deviceRow(0)->serial, kSerial);
        phone.clearRequestLog(kSerial);
    }

    std::string logText() const { return ztest::readFile(core::logFilePath()); }

    ztest::ScratchFolder documents_;
};

const std::vector<std::string> kUsbPreparation = {
    "shell:am force-stop com.vantrey.pocketdesk",
    "shell:pm 'uninstall' 'com.vantrey.zentrolink'",
    "shell:pm 'uninstall' 'com.vantrey.pocketdesk'",
    "sync:SEND /data/local/tmp/zentrolink.apk,",
    "shell:pm 'install' '/data/local/tmp/zentrolink.apk'",
    "shell:am start -n com.vantrey.pocketdesk/com.vantrey.pocketdesk.ui.MainActivity",
    "shell:forward --remove-all",
    "forward:tcp:30148;tcp:20148",
    "companion:hello-transfer;",
};

} // namespace

TEST_F(CompanionBootstrapE2e, UsbPhoneIsPreparedStepByStep) {
    ztest::VirtualPhone phone(scenario());
    detect(phone);

    ProgressWatcher watcher;
    EXPECT_EQ(Zentro_ReadyTodoing(0), 0);
    EXPECT_EQ(watcher.stop(), (std::vector<int32_t>{10, 20, 30, 50, 70, 100}));

    std::vector<std::string> expected = kUsbPreparation;
    expected.push_back("companion:sync_android_USBStart;");
    EXPECT_TRUE(inOrder(phone.requestLog(kSerial), expected));
    EXPECT_NE(logText().find(std::string("ReadyTodoing: deviceindex=0,id=") + kSerial + " ,device\n"),
              std::string::npos);

    // The channel stays open for what follows, and the connection test uses it.
    EXPECT_EQ(Zentro_CheckDevicesIsConnect(0), 0);
    int32_t count = 0;
    EXPECT_EQ(link::SendCommandToAndroidServices("getsmsCount;", reinterpret_cast<char*>(&count), 4, nullptr, 0, 0), 4);
    EXPECT_GT(count, 0);
}

TEST_F(CompanionBootstrapE2e, WrongGreetingFailsAtSeventy) {
    ztest::VirtualPhone phone(
        scenario(R"(,"companionFaults":{"hello-transfer":{"kind":"CustomReply","reply":"HI-PC "}})"));
    detect(phone);

    EXPECT_EQ(Zentro_ReadyTodoing(0), -1);
    EXPECT_EQ(Zentro_GetReadyTodoProgress(), 70);
    EXPECT_NE(logText().find("checkIsConnectToOursAndroidServices failed.\n"), std::string::npos);
    std::vector<std::string> log = phone.requestLog(kSerial);
    EXPECT_TRUE(inOrder(log, kUsbPreparation));
    for (const std::string& entry : log) EXPECT_NE(entry, "companion:sync_android_USBStart;");
}

TEST_F(CompanionBootstrapE2e, WifiRowRunsNoAdbCommand) {
    ztest::VirtualPhone phone(scenario());
    detect(phone);
    ASSERT_EQ(Zentro_ReadyTodoing(0), 0);

    // A WiFi row at the companion's address (here the forwarded port): only the handshake.
    core::DeviceEntry* row = core::deviceRow(1);
    row->connectionKind = core::kConnectionWifi;
    core::copyText(row->address, sizeof row->address, "127.0.0.1");
    row->port = 30148;
    phone.clearRequestLog(kSerial);
    phone.control("clearlog server");

    EXPECT_EQ(Zentro_ReadyTodoing(1), 0);
    EXPECT_EQ(Zentro_GetReadyTodoProgress(), 10);
    EXPECT_EQ(phone.requestLog(kSerial), std::vector<std::string>{"companion:hello-transfer;"});
    EXPECT_EQ(phone.control("log server"), ""); // no adb request reached the server
}

TEST_F(CompanionBootstrapE2e, HangingForceStopGivesUpAtTwenty) {
    ztest::VirtualPhone phone(scenario(R"(,"hangingShellPrefixes":["am force-stop"])"));
    detect(phone);
    bridge::RunnerTimings timings;
    timings.boundedMs = 500;
    bridge::setRunnerTimingsForTests(timings);

    EXPECT_EQ(Zentro_ReadyTodoing(0), -1);
    EXPECT_EQ(Zentro_GetReadyTodoProgress(), 20);
    std::vector<std::string> log = phone.requestLog(kSerial);
    EXPECT_TRUE(inOrder(log, {"shell:am force-stop com.vantrey.pocketdesk"}));
    for (const std::string& entry : log) EXPECT_EQ(entry.find("uninstall"), std::string::npos) << entry;
}
