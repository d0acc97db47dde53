// The command channel against an in-process companion, byte for byte. Device index 0 is a USB
// row whose local port is the peer's (no serial, so no adb runs unless a test sets one); rows
// with connectionKind 1 reach a peer directly.
#include "link/command_channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/log.h"
#include "core/state.h"
#include "loopback_peer.h"
#include "platform/platform.h"
#include "test_support.h"

using namespace zentro;
using linktest::LoopbackPeer;
using linktest::PeerConnection;

namespace {

std::mutex g_sleepMutex;
std::vector<int> g_sleeps;

void recordSleep(int milliseconds) {
    std::lock_guard<std::mutex> guard(g_sleepMutex);
    g_sleeps.push_back(milliseconds);
}

class CommandChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ztest::resetLibraryState();
        link::resetLinkForTests();
        platform::setEnv("XDG_DOCUMENTS_DIR", documents_.path().c_str());
        core::resetLogForTests();
        g_sleeps.clear();
        timings_.sleepMs = recordSleep;
        timings_.socket.receiveTimeoutMs = 10000;
        link::setLinkTimingsForTests(timings_);
    }

    void TearDown() override {
        link::resetLinkForTests();
        ztest::resetLibraryState();
    }

    void usbIndexZeroReaches(uint16_t port) {
        timings_.usbLocalPortBase = port;
        link::setLinkTimingsForTests(timings_);
    }

    std::string logText() const { return ztest::readFile(core::logFilePath()); }

    ztest::ScratchFolder documents_;
    link::LinkTimings timings_;
};

int send(const char* command, void* reply, int32_t capacity, int index = 0, const void* payload = nullptr,
         int32_t payloadLength = 0) {
    return link::SendCommandToAndroidServices(command, static_cast<char*>(reply), capacity, payload,
                                              payloadLength, index);
}

// Answers every command with `reply`.
LoopbackPeer::Handler answering(std::string reply) {
    return [reply](PeerConnection& c, int) {
        while (c.readCommand()) c.sendReply(reply);
    };
}

} // namespace

TEST_F(CommandChannelTest, RepliesOfEveryFormOnOneConnection) {
    timings_.socket.receiveTimeoutMs = 300;
    LoopbackPeer peer([](PeerConnection& c, int) {
        while (auto command = c.readCommand()) {
            if (*command == "partial;") { // then nothing: the receive times out
                c.send(PeerConnection::lengthBytes(10) + "abc");
            } else if (*command == "empty;") {
                c.send(PeerConnection::lengthBytes(0));
            } else if (*command == "negative;") {
                c.send(PeerConnection::lengthBytes(-5));
            } else if (*command == "split;") { // the length arrives in two segments
                c.send(PeerConnection::lengthBytes(5).substr(0, 2));
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                c.send(PeerConnection::lengthBytes(5).substr(2) + "hello");
            } else {
                c.sendReply("abc");
            }
        }
    });
    usbIndexZeroReaches(peer.port());

    char reply[16];
    std::memset(reply, 0x55, sizeof reply);
    EXPECT_EQ(send("empty;", reply, 8), 0);
    EXPECT_EQ(std::string(reply, 5), std::string(4, '\0') + '\x55');
    std::memset(reply, 0x55, sizeof reply);
    EXPECT_EQ(send("text;", reply, 8), 3);
    EXPECT_EQ(std::string(reply, 4), "abc\x55"); // no zero byte added
    EXPECT_EQ(send("split;", reply, 8), 5);
    EXPECT_EQ(std::string(reply, 5), "hello");
    std::memset(reply, 0x55, sizeof reply);
    EXPECT_EQ(send("negative;", reply, 8), 0);
    EXPECT_EQ(std::string(reply, 4), std::string(4, '\0'));
    std::memset(reply, 0x55, sizeof reply);
    EXPECT_EQ(send("empty;", reply, 2), 0); // the capacity bounds the zeroing
    EXPECT_EQ(std::string(reply, 3), std::string(2, '\0') + '\x55');

    std::memset(reply, 0x55, sizeof reply);
    EXPECT_EQ(send("partial;", reply, 16), 3); // what arrived, on a connection still in service
    EXPECT_EQ(std::string(reply, 4), "abc\x55");
    EXPECT_EQ(send("text;", reply, 8), 3);

    EXPECT_EQ(peer.connections(), 1);
    EXPECT_EQ(peer.commands().size(), 7u);
}

TEST_F(CommandChannelTest, ReplyLongerThanCapacityFailsAfterThreeAttempts) {
    LoopbackPeer peer(answering("0123456789"));
    usbIndexZeroReaches(peer.port());

    char reply[8];
    std::memset(reply, 0x55, sizeof reply);
    EXPECT_EQ(send("getsmsCount;", reply, 4), -1);
    EXPECT_EQ(std::string(reply, 5), "0123\x55");
    EXPECT_EQ(peer.commands(), std::vector<std::string>(3, "getsmsCount;"));

    const std::string log = logText();
    const std::string retry = "SendCommandToAndroidServices error:cmd=getsmsCount;\n";
    const std::string last = "error SendCommandToAndroidServices cmd = getsmsCount;, m_sockSrv =";
    EXPECT_NE(log.find(retry + retry + retry + last), std::string::npos) << log;
    EXPECT_EQ(log.find(retry + retry + retry + retry), std::string::npos);
    EXPECT_NE(log.find(", try_count = 3\n"), std::string::npos);
}

TEST_F(CommandChannelTest, PhoneClosingMidBodyGetsFiveEmptyReadsThenANewAttempt) {
    LoopbackPeer peer([](PeerConnection& c, int connection) {
        while (c.readCommand()) {
            if (connection > 0) {
                c.sendReply("0123456789");
                continue;
            }
            c.send(PeerConnection::lengthBytes(10) + "abc");
            return; // closes in the middle of the body
        }
    });
    usbIndexZeroReaches(peer.port());

    char reply[16] = {};
    EXPECT_EQ(send("getsmsPart10:0;", reply, 16), 10);
    EXPECT_EQ(std::string(reply, 10), "0123456789");
    EXPECT_EQ(peer.commands(), std::vector<std::string>(2, "getsmsPart10:0;"));
    EXPECT_EQ(g_sleeps, std::vector<int>(5, 1000));
}

TEST_F(CommandChannelTest, PayloadTravelsRightBehindTheCommand) {
    std::string received;
    LoopbackPeer peer([&received](PeerConnection& c, int) {
        while (auto command = c.readCommand()) {
            if (command->rfind("write_photofile:", 0) == 0) received = c.readBytes(std::stoul(command->substr(16)));
            c.sendReply(std::string("\x01\x00\x00\x00", 4));
        }
    });
    usbIndexZeroReaches(peer.port());

    std::string chunk(102400, '\0');
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 7 + i / 251);
    int32_t status = -1;
    EXPECT_EQ(send("write_photofile:102400;", &status, 4, 0, chunk.data(), 102400), 4);
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(received == chunk);
    // No payload without a pointer or with a length below 1.
    EXPECT_EQ(send("close_photofile;", &status, 4, 0, nullptr, 50), 4);
    EXPECT_EQ(send("ping;", &status, 4, 0, chunk.data(), 0), 4);
    EXPECT_EQ(peer.commands(), (std::vector<std::string>{"write_photofile:102400;", "close_photofile;", "ping;"}));
}

TEST_F(CommandChannelTest, RefusalsAndUnreachablePhones) {
    LoopbackPeer peer(answering("x"));
    usbIndexZeroReaches(peer.port());
    char reply[8];
    EXPECT_EQ(send(nullptr, reply, 8), -1);
    EXPECT_EQ(send("", reply, 8), -1);
    EXPECT_EQ(send("x;", nullptr, 8), -1);
    EXPECT_EQ(send("x;", reply, -1), -1);
    EXPECT_EQ(send("x;", reply, 8, 10), -1);
    EXPECT_EQ(send("x;", reply, 8, 2), -1); // above 1 while channel 1 does not exist
    EXPECT_EQ(peer.connections(), 0);
    EXPECT_NE(logText().find("error SendCommandToAndroidServices cmd = , m_sockSrv =0, try_count = 0\n"),
              std::string::npos);

    // Nobody listening: one error line and no retry.
    uint16_t closedPort;
    {
        LoopbackPeer gone([](PeerConnection&, int) {});
        closedPort = gone.port();
    }
    usbIndexZeroReaches(closedPort);
    EXPECT_EQ(send("hello-transfer;", reply, 8), -1);
    const std::string log = logText();
    EXPECT_NE(log.find("cmd = hello-transfer;, m_sockSrv =0, try_count = 0\n"), std::string::npos);
    EXPECT_EQ(log.find("error:cmd=hello-transfer;"), std::string::npos);
}

TEST_F(CommandChannelTest, DeviceIndexesSelectTheirChannel) {
    LoopbackPeer usb(answering("usb"));
    LoopbackPeer wifi(answering("wifi"));
    usbIndexZeroReaches(usb.port());
    for (int index : {1, 5}) {
        core::DeviceEntry* row = core::deviceRow(index);
        row->connectionKind = core::kConnectionWifi;
        core::copyText(row->address, sizeof row->address, "127.0.0.1");
        row->port = index == 1 ? wifi.port() : usb.port();
    }

    char reply[8] = {};
    EXPECT_EQ(send("a;", reply, 8, 0), 3);
    EXPECT_EQ(link::channelInUse(), 1);
    EXPECT_EQ(send("b;", reply, 8, 1), 4);
    EXPECT_EQ(link::channelInUse(), 0);
    EXPECT_EQ(send("c;", reply, 8, 5), 4); // above 1: channel 1, whatever its own row says
    EXPECT_EQ(std::string(reply, 4), "wifi");
    EXPECT_EQ(usb.commands(), std::vector<std::string>{"a;"});
    EXPECT_EQ(wifi.commands(), (std::vector<std::string>{"b;", "c;"}));

    link::closeChannel(1); // the next exchange of index 1 connects afresh
    EXPECT_EQ(send("d;", reply, 8, 5), -1);
    EXPECT_EQ(send("e;", reply, 8, 1), 4);
    EXPECT_EQ(wifi.connections(), 2);
}

TEST_F(CommandChannelTest, UsbPhoneForwardsOnEveryConnect) {
    ztest::ScratchFolder host;
    ztest::installChildAsAdb(host.path()); // records its arguments
    platform::setHostFolderForTests(host.path());
    const std::string record = host.file("adb-runs.txt");
    platform::setEnv("ZENTRO_CHILD_LOG", record.c_str());
    LoopbackPeer peer([](PeerConnection& c, int connection) {
        while (c.readCommand() && connection > 0) c.sendReply("HI-PC"); // the first gets no answer
    });
    usbIndexZeroReaches(peer.port());
    core::copyText(core::deviceRow(0)->serial, 64, "SER0");

    char reply[8] = {};
    EXPECT_EQ(send("hello-transfer;", reply, 8), 5);
    platform::setEnv("ZENTRO_CHILD_LOG", "");

    const std::string port = std::to_string(peer.port());
    const std::string forward = "-s|SER0|shell|forward|--remove-all\n-s|SER0|forward|tcp:" + port + "|tcp:" +
                                std::to_string(peer.port() - 10000) + "\n";
    EXPECT_EQ(ztest::readFile(record), forward + forward);
    EXPECT_EQ(g_sleeps, std::vector<int>(4, 300));
}

TEST_F(CommandChannelTest, ConcurrentExchangesKeepTheirOwnReplies) {
    LoopbackPeer peer([](PeerConnection& c, int) {
        while (auto command = c.readCommand()) {
            // Length and body in separate writes, so exchanges without the lock would mix.
            c.send(PeerConnection::lengthBytes(static_cast<int32_t>(command->size())));
            c.send(*command);
        }
    });
    usbIndexZeroReaches(peer.port());

    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &mismatches] {
            for (int i = 0; i < 100; ++i) {
                std::string command = "t" + std::to_string(t) + "-" + std::to_string(i) + ";";
                char reply[32] = {};
                if (send(command.c_str(), reply, 31) != static_cast<int>(command.size()) || command != reply) {
                    ++mismatches;
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(peer.connections(), 1);
}
