// Preparation against a stand-in adb (the test child, which records its arguments) and an
// in-process companion on the channel's port.
#include "link/companion_bootstrap.h"
#include "link/test_seams.h"
#include "platform/test_seams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/state.h"
#include "loopback_peer.h"
#include "zentrolink.h"

using namespace zentro;
using linktest::LoopbackPeer;
using linktest::PeerConnection;

namespace {

void noSleep(int) {}

// A companion answering the handshake with `greeting` and everything else with a 4-byte 0.
LoopbackPeer::Handler companion(std::string greeting, bool dropFirstConnection = false) {
    return [greeting, dropFirstConnection](PeerConnection& c, int n) {
        while (auto command = c.readCommand()) {
            if (dropFirstConnection && n == 0) return;
            c.sendReply(*command == "hello-transfer;" ? greeting : std::string(4, '\0'));
        }
    };
}

class CompanionBootstrapTest : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        ztest::installChildAsAdb(host_.path());
        platform::setHostFolderForTests(host_.path());
        platform::setEnv("ZENTRO_CHILD_LOG", adbRuns().c_str());
        timings_.sleepMs = noSleep;
        link::setLinkTimingsForTests(timings_);
        core::DeviceEntry* row = core::deviceRow(0);
        core::copyText(row->serial, sizeof row->serial, "SER0");
        core::copyText(row->state, sizeof row->state, "device");
        core::state().connectAndroidCount = 1;
    }
    void TearDown() override {
        platform::setEnv("ZENTRO_CHILD_LOG", "");
        LinkTest::TearDown();
    }
    std::string adbRuns() const { return host_.file("adb-runs.txt"); }

    ztest::ScratchFolder host_;
};

} // namespace

TEST_F(CompanionBootstrapTest, UsbPreparationRunsEveryStepAndForwardsOnEveryConnect) {
    LoopbackPeer peer(companion("HI-PC", /*dropFirstConnection=*/true));
    usbIndexZeroReaches(peer.port());
    // The first connection closes unanswered; the reconnect forwards again. Preparation then
    // drops the open channel, so its handshake connects (and forwards) anew.
    char status[4];
    ASSERT_EQ(link::sendCommand("getsmsCount;", status, 4, nullptr, 0, 0), 4);

    EXPECT_EQ(Zentro_ReadyTodoing(0), 0);
    EXPECT_EQ(Zentro_GetReadyTodoProgress(), 100);
    const std::string forward =
        "-s|SER0|shell|forward|--remove-all\n-s|SER0|forward|tcp:" + std::to_string(peer.port()) +
        "|tcp:" + std::to_string(peer.port() - 10000) + "\n";
    EXPECT_EQ(
        ztest::readFile(adbRuns()),
        forward + forward +
            "-s|SER0|shell|am|force-stop|com.vantrey.pocketdesk\n"
            "-s|SER0|uninstall|com.vantrey.zentrolink\n"
            "-s|SER0|uninstall|com.vantrey.pocketdesk\n"
            "-s|SER0|install|" +
            host_.file("zentrolink.apk") +
            "\n"
            "-s|SER0|shell|am|start|-n|com.vantrey.pocketdesk/com.vantrey.pocketdesk.ui.MainActivity\n" +
            forward);
    EXPECT_EQ(peer.commands(), (std::vector<std::string>{"getsmsCount;", "getsmsCount;", "hello-transfer;",
                                                         "sync_android_USBStart;"}));
    EXPECT_EQ(peer.connections(), 3);
}

TEST_F(CompanionBootstrapTest, WifiPhoneNeedsOnlyTheExactHandshake) {
    core::DeviceEntry* row = core::deviceRow(1);
    row->connectionKind = core::kConnectionWifi;
    core::copyText(row->address, sizeof row->address, "127.0.0.1");
    for (const char* greeting : {"HI-PC", "HI-PC ", "hi-pc", "HI-P", ""}) {
        SCOPED_TRACE(greeting);
        LoopbackPeer peer(companion(greeting));
        link::closeChannel(1);
        row->port = peer.port();
        const int expected = std::string(greeting) == "HI-PC" ? 0 : -1;
        EXPECT_EQ(Zentro_CheckDevicesIsConnect(1), expected);
        EXPECT_EQ(Zentro_ReadyTodoing(1), expected);
        EXPECT_EQ(Zentro_GetReadyTodoProgress(), 10);
        EXPECT_EQ(peer.commands(), std::vector<std::string>(2, "hello-transfer;"));
    }
    EXPECT_TRUE(logHas("checkIsConnectToOursAndroidServices wifi failed.\n"));

    EXPECT_EQ(Zentro_ReadyTodoing(10), -1); // no such row: refused before anything runs
    EXPECT_EQ(Zentro_GetReadyTodoProgress(), 10);
    EXPECT_FALSE(ztest::fileExists(adbRuns())); // not one adb run
}
