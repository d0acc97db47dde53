// Preparation against a stand-in adb (the test child, which records its arguments) and an
// in-process companion on the channel's port.
#include "link/companion_bootstrap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "core/state.h"
#include "link/command_channel.h"
#include "loopback_peer.h"
#include "platform/platform.h"
#include "test_support.h"
#include "zentrolink.h"

using namespace zentro;
using linktest::LoopbackPeer;
using linktest::PeerConnection;

namespace {

void noSleep(int) {}

// A companion answering the handshake with `greeting` and everything else with a 4-byte 0.
LoopbackPeer::Handler companion(std::string greeting) {
    return [greeting](PeerConnection& c, int) {
        while (auto command = c.readCommand()) c.sendReply(*command == "hello-transfer;" ? greeting : std::string(4, '\0'));
    };
}

class CompanionBootstrapTest : public ::testing::Test {
protected:
    void SetUp() override {
        ztest::resetLibraryState();
        link::resetLinkForTests();
        platform::setEnv("XDG_DOCUMENTS_DIR", documents_.path().c_str());
        core::resetLogForTests();
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
        link::resetLinkForTests();
        ztest::resetLibraryState();
    }

    void channelZeroReaches(const LoopbackPeer& peer) {
        link::closeChannel(0);
        timings_.usbLocalPortBase = peer.port();
        link::setLinkTimingsForTests(timings_);
    }

    std::string adbRuns() const { return host_.file("adb-runs.txt"); }
    std::string logText() const { return ztest::readFile(core::logFilePath()); }

    ztest::ScratchFolder documents_;
    ztest::ScratchFolder host_;
    link::LinkTimings timings_;
};

} // namespace

TEST_F(CompanionBootstrapTest, UsbPreparationRunsEveryStepInOrder) {
    LoopbackPeer peer(companion("HI-PC"));
    channelZeroReaches(peer);
    // A channel open from before is dropped, so preparation connects (and forwards) anew.
    char status[4];
    ASSERT_EQ(link::SendCommandToAndroidServices("getsmsCount;", status, 4, nullptr, 0, 0), 4);

    EXPECT_EQ(Zentro_ReadyTodoing(0), 0);
    EXPECT_EQ(Zentro_GetReadyTodoProgress(), 100);
    const std::string port = std::to_string(peer.port());
    const std::string forward = "-s|SER0|shell|forward|--remove-all\n-s|SER0|forward|tcp:" + port + "|tcp:" +
                                std::to_string(peer.port() - 10000) + "\n";
    EXPECT_EQ(ztest::readFile(adbRuns()),
              forward +
                  "-s|SER0|shell|am|force-stop|com.vantrey.pocketdesk\n"
                  "-s|SER0|uninstall|com.vantrey.zentrolink\n"
                  "-s|SER0|uninstall|com.vantrey.pocketdesk\n"
                  "-s|SER0|install|" + host_.file("zentrolink.apk") + "\n"
                  "-s|SER0|shell|am|start|-n|com.vantrey.pocketdesk/com.vantrey.pocketdesk.ui.MainActivity\n" +
                  forward);
    EXPECT_EQ(peer.commands(), (std::vector<std::string>{"getsmsCount;", "hello-transfer;", "sync_android_USBStart;"}));
    EXPECT_EQ(peer.connections(), 2);
    EXPECT_NE(logText().find("ReadyTodoing: deviceindex=0,id=SER0 ,device\n"), std::string::npos);
}

TEST_F(CompanionBootstrapTest, FailedStepsKeepTheirProgress) {
    LoopbackPeer wrong(companion("HI-PC "));
    channelZeroReaches(wrong);
    platform::setHostFolderForTests(documents_.path()); // no adb there: the force-stop fails
    EXPECT_EQ(Zentro_ReadyTodoing(0), -1);
    EXPECT_EQ(Zentro_GetReadyTodoProgress(), 20);
    EXPECT_EQ(wrong.connections(), 0);

    platform::setHostFolderForTests(host_.path());
    EXPECT_EQ(Zentro_ReadyTodoing(0), -1);
    EXPECT_EQ(Zentro_GetReadyTodoProgress(), 70);
    EXPECT_NE(logText().find("checkIsConnectToOursAndroidServices failed.\n"), std::string::npos);
    EXPECT_EQ(wrong.commands(), std::vector<std::string>{"hello-transfer;"}); // and no start notice

    EXPECT_EQ(Zentro_ReadyTodoing(10), -1); // no such row: nothing runs
    EXPECT_EQ(Zentro_GetReadyTodoProgress(), 70);
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
    EXPECT_NE(logText().find("checkIsConnectToOursAndroidServices wifi failed.\n"), std::string::npos);
    EXPECT_FALSE(ztest::fileExists(adbRuns())); // not one adb run
}
