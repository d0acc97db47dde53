// The command channel against an in-process companion, byte for byte. Device index 0 is a USB
// row without a serial (so no adb runs); WiFi rows reach a peer directly.
#include "link/command_channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "loopback_peer.h"

using namespace zentro;
using linktest::lengthBytes;
using linktest::LoopbackPeer;
using linktest::PeerConnection;

namespace {

std::vector<int> g_sleeps; // the library only sleeps on the thread of the exchange

class CommandChannelTest : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        g_sleeps.clear();
        timings_.sleepMs = [](int milliseconds) { g_sleeps.push_back(milliseconds); };
        timings_.socket.receiveTimeoutMs = 10000;
    }
};

int send(const char* command, void* reply, int32_t capacity, int index = 0, const void* payload = nullptr,
         int32_t payloadLength = 0) {
    return link::sendCommand(command, static_cast<char*>(reply), capacity, payload, payloadLength, index);
}

} // namespace

TEST_F(CommandChannelTest, RepliesOfEveryFormOnOneConnection) {
    timings_.socket.receiveTimeoutMs = 300;
    const std::map<std::string, std::string> raw = {
        {"empty;", lengthBytes(0)},
        {"negative;", lengthBytes(-5)},
        {"partial;", lengthBytes(10) + "abc"}, // the rest only after the receive time-out
        {"text;", lengthBytes(3) + "abc"},
    };
    LoopbackPeer peer([&raw](PeerConnection& c, int) {
        while (auto command = c.readCommand()) {
            if (*command == "partial;") {
                c.send(raw.at(*command));
                // The rest is late: on a connection kept after the time-out it would come
                // ahead of the next reply and be read as its length.
                const auto following = c.readCommand();
                if (!following) return;
                c.send("defghij" + raw.at(*following));
                continue;
            }
            if (*command != "split;") {
                c.send(raw.at(*command));
                continue;
            }
            c.send(lengthBytes(5).substr(0, 2)); // the length in two segments
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            c.send(lengthBytes(5).substr(2) + "hello");
        }
    });
    usbIndexZeroReaches(peer.port());

    const std::string u = "\x55", zeros(4, '\0');
    const struct {
        const char* command;
        int32_t capacity;
        int result;
        std::string replyStart;
    } cases[] = {
        {"empty;", 8, 0, zeros + u},           // no body: four zero bytes
        {"empty;", 2, 0, zeros.substr(2) + u}, // never past the capacity
        {"negative;", 8, 0, zeros},
        {"text;", 8, 3, "abc" + u}, // no zero byte added
        {"split;", 8, 5, "hello"},
        {"partial;", 16, 3, "abc" + u}, // what arrived before the time-out...
        {"text;", 8, 3, "abc" + u},     // ...and the next reply is its own, on a new connection
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        char reply[16];
        std::memset(reply, 0x55, sizeof reply);
        EXPECT_EQ(send(c.command, reply, c.capacity), c.result);
        EXPECT_EQ(std::string(reply, c.replyStart.size()), c.replyStart);
    }
    EXPECT_EQ(peer.connections(), 2);
    EXPECT_EQ(peer.commands().size(), 7u);
}

TEST_F(CommandChannelTest, PhoneClosingMidBodyGetsANewAttemptAndATooLongReplyThreeInAll) {
    LoopbackPeer peer([](PeerConnection& c, int connection) {
        while (c.readCommand()) {
            if (connection == 0) {
                c.send(lengthBytes(10) + "abc");
                return; // closes in the middle of the body
            }
            c.sendReply("0123456789");
        }
    });
    usbIndexZeroReaches(peer.port());

    // Five empty reads, then the next attempt on a new connection.
    char reply[16];
    EXPECT_EQ(send("getsmsPart10:0;", reply, 16), 10);
    EXPECT_EQ(std::string(reply, 10), "0123456789");
    EXPECT_EQ(peer.commands(), std::vector<std::string>(2, "getsmsPart10:0;"));
    EXPECT_EQ(g_sleeps, std::vector<int>(5, 1000));

    peer.forgetCommands();
    std::memset(reply, 0x55, sizeof reply);
    EXPECT_EQ(send("getsmsCount;", reply, 4), -1);
    EXPECT_EQ(std::string(reply, 5), "0123\x55"); // what fits, and not a byte more
    EXPECT_EQ(peer.commands(), std::vector<std::string>(3, "getsmsCount;"));
    const std::string retry = "SendCommandToAndroidServices error:cmd=getsmsCount;\n";
    EXPECT_TRUE(
        logHas(retry + retry + retry + "error SendCommandToAndroidServices cmd = getsmsCount;, m_sockSrv ="));
    EXPECT_TRUE(logHas(", try_count = 3\n"));
}

TEST_F(CommandChannelTest, PayloadTravelsRightBehindTheCommand) {
    std::string received;
    LoopbackPeer peer([&received](PeerConnection& c, int) {
        while (auto command = c.readCommand()) {
            if (command->rfind("write_photofile:", 0) == 0)
                received = c.readBytes(std::stoul(command->substr(16)));
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
    EXPECT_EQ(peer.commands(),
              (std::vector<std::string>{"write_photofile:102400;", "close_photofile;", "ping;"}));
}

TEST_F(CommandChannelTest, RefusalsAndUnreachablePhones) {
    LoopbackPeer peer([](PeerConnection& c, int) {
        while (c.readCommand()) c.sendReply("x");
    });
    usbIndexZeroReaches(peer.port());
    char reply[8];
    EXPECT_EQ(send(nullptr, reply, 8), -1);
    EXPECT_EQ(send("", reply, 8), -1);
    EXPECT_EQ(send("x;", nullptr, 8), -1);
    EXPECT_EQ(send("x;", reply, -1), -1);
    EXPECT_EQ(send("x;", reply, 8, 10), -1);
    EXPECT_EQ(send("x;", reply, 8, 2), -1); // above 1 while channel 1 does not exist
    EXPECT_EQ(peer.connections(), 0);
    EXPECT_TRUE(logHas("error SendCommandToAndroidServices cmd = , m_sockSrv =0, try_count = 0\n"));

    // Nobody listening: one error line and no retry.
    usbIndexZeroReaches(LoopbackPeer([](PeerConnection&, int) {}).port());
    EXPECT_EQ(send("hello-transfer;", reply, 8), -1);
    EXPECT_TRUE(logHas("cmd = hello-transfer;, m_sockSrv =0, try_count = 0\n"));
    EXPECT_FALSE(logHas("error:cmd=hello-transfer;"));
}

TEST_F(CommandChannelTest, ConcurrentExchangesKeepTheirOwnReplies) {
    LoopbackPeer peer([](PeerConnection& c, int) {
        while (auto command = c.readCommand()) {
            // Length and body in separate writes, so exchanges without the lock would mix.
            c.send(lengthBytes(static_cast<int32_t>(command->size())));
            c.send(*command);
        }
    });
    usbIndexZeroReaches(peer.port());

    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &mismatches] {
            for (int i = 0; i < 100; ++i) {
                const std::string command = "t" + std::to_string(t) + "-" + std::to_string(i) + ";";
                char reply[32] = {};
                mismatches +=
                    send(command.c_str(), reply, 31) != static_cast<int>(command.size()) || command != reply;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(peer.connections(), 1);
}
