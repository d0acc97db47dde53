// Preparation end to end: the real adb client, the virtual phone behind it, the companion on
// the forwarded port 30148.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/state.h"
#include "loopback_peer.h"
#include "virtual_phone.h"
#include "zentrolink.h"

using namespace zentro;

namespace {

constexpr const char* kSerial = "ZX1G22ABCD000000";

// True when each expected entry starts one of the log's entries, in this order.
::testing::AssertionResult inOrder(const std::vector<std::string>& log,
                                   const std::vector<std::string>& expected) {
    auto at = log.begin();
    for (const std::string& want : expected) {
        at = std::find_if(at, log.end(), [&](const std::string& entry) { return entry.rfind(want, 0) == 0; });
        if (at++ == log.end())
            return ::testing::AssertionFailure() << "\"" << want << "\" missing or out of order";
    }
    return ::testing::AssertionSuccess();
}

class CompanionBootstrapE2e : public linktest::LinkTest {
protected:
    // Fills device row 0 the way the host does, through detection.
    void detect(ztest::VirtualPhone& phone) {
        phone.exportAdbPort();
        ASSERT_EQ(Zentro_CheckDeviceDetected(0), 0);
        ASSERT_STREQ(core::deviceRow(0)->serial, kSerial);
        phone.clearRequestLog(kSerial);
    }
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

TEST_F(CompanionBootstrapE2e, WrongGreetingStopsAtSeventyThenTheUsbPhoneIsPreparedAndWifiNeedsNoAdb) {
    ztest::VirtualPhone phone(std::string(R"({"devices":[{"serial":")") + kSerial + "\"}]}");
    detect(phone);

    // A companion that greets in another way fails at 70, before the phone is told to start.
    phone.control(std::string("fault ") + kSerial +
                  R"( hello-transfer {"kind":"CustomReply","reply":"HI-PC "})");
    EXPECT_EQ(Zentro_ReadyTodoing(0), -1);
    EXPECT_EQ(Zentro_GetReadyTodoProgress(), 70);
    EXPECT_TRUE(logHas("checkIsConnectToOursAndroidServices failed.\n"));
    EXPECT_TRUE(inOrder(phone.requestLog(kSerial), kUsbPreparation));
    EXPECT_FALSE(inOrder(phone.requestLog(kSerial), {"companion:sync_android_USBStart;"}));
    phone.control(std::string("clearfaults ") + kSerial);
    phone.clearRequestLog(kSerial);

    // A host polls the progress from another thread; every value it changes to is kept.
    std::atomic<bool> done{false};
    std::vector<int32_t> seen;
    std::thread poller([&done, &seen, last = Zentro_GetReadyTodoProgress()]() mutable {
        for (bool more = true; more;) {
            more = !done.load(); // one more look after preparation returned
            const int32_t now = Zentro_GetReadyTodoProgress();
            if (now != last) seen.push_back(last = now);
            std::this_thread::yield();
        }
    });
    EXPECT_EQ(Zentro_ReadyTodoing(0), 0);
    done.store(true);
    poller.join();
    EXPECT_EQ(seen, (std::vector<int32_t>{10, 20, 30, 50, 70, 100}));

    std::vector<std::string> expected = kUsbPreparation;
    expected.push_back("companion:sync_android_USBStart;");
    EXPECT_TRUE(inOrder(phone.requestLog(kSerial), expected));
    EXPECT_TRUE(logHas(std::string("ReadyTodoing: deviceindex=0,id=") + kSerial + " ,device\n"));

    // The channel stays open for what follows, and the connection test uses it.
    EXPECT_EQ(Zentro_CheckDevicesIsConnect(0), 0);
    int32_t count = 0;
    EXPECT_EQ(link::sendCommand("getsmsCount;", reinterpret_cast<char*>(&count), 4, nullptr, 0, 0), 4);
    EXPECT_GT(count, 0);

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
