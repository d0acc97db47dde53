// The adb server at the byte level, for what the real client never sends: broken framing,
// oversized sync packets, refused pushes, forward replacement and stopping with work in hand;
// and the server loop it shares with the control port.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "adb/framing.h"
#include "adb/io.h"
#include "adb/server.h"
#include "adb/tcp_server.h"
#include "scenario.h"
#include "sim_helpers.h"

using namespace zsim;
using namespace zsim::adb;
using simtest::connectTcp;
using simtest::readUpTo;

namespace {

std::string request(const std::string& text) { return hex4(text.size()) + text; }

std::string syncPacket(const char* id, const std::string& body) {
    return syncHeader(id, static_cast<uint32_t>(body.size())) + body;
}

class AdbServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        devices->add(makeDevice("S1", 1));
        std::string error;
        port = server.start(0, &error);
        ASSERT_GT(port, 0) << error;
    }

    // A connection already switched to S1, with `then` sent behind the switch.
    int open(const std::string& then = {}) {
        const int fd = connectTcp(port);
        EXPECT_GE(fd, 0);
        EXPECT_TRUE(writeAll(fd, request("host:tport:serial:S1")));
        EXPECT_EQ(readUpTo(fd, 12), std::string("OKAY\x01\0\0\0\0\0\0\0", 12)); // transport id 1
        writeAll(fd, then);
        return fd;
    }
    // Everything the server answers on `fd` until it closes; closes fd.
    static std::string drain(int fd) {
        std::string reply = readUpTo(fd);
        ::close(fd);
        return reply;
    }
    // One request on a fresh connection, everything the server answers until it closes.
    std::string exchange(const std::string& raw) {
        const int fd = connectTcp(port);
        writeAll(fd, raw);
        return drain(fd);
    }

    std::shared_ptr<DeviceList> devices = std::make_shared<DeviceList>();
    AdbServer server{devices};
    int port = 0;
};

} // namespace

TEST_F(AdbServerTest, HostRequestsShellAndRefusals) {
    EXPECT_EQ(exchange(request("host:version")), "OKAY00040029");
    EXPECT_EQ(exchange(request("host:devices")), okayWith("S1\tdevice\n"));
    EXPECT_EQ(exchange("zz10host:version"), fail("bad request length"));
    EXPECT_EQ(exchange(request("host:frobnicate")), fail("unknown host service"));
    EXPECT_EQ(exchange(request("host-serial:NOPE:features")), fail("device 'NOPE' not found"));
    EXPECT_EQ(exchange(request("host-serial:S1:features")), "OKAY0000");
    EXPECT_EQ(drain(open(request("shell:echo 'hi there'"))), "OKAYhi there\n");
    EXPECT_EQ(drain(open(request("reboot:"))), fail("closed"));

    devices->find("S1")->setState("offline");
    EXPECT_EQ(exchange(request("host:tport:serial:S1")), fail("device offline"));
    EXPECT_EQ(exchange(request("host-serial:S1:get-state")), okayWith("offline"));
    devices->find("S1")->setState("removed");
    EXPECT_EQ(exchange(request("host:devices")), "OKAY0000");
    EXPECT_EQ(exchange(request("host:tport:serial:S1")), fail("device 'S1' not found"));
    EXPECT_EQ(exchange(request("shell:ls")), fail("no devices/emulators found"));

    EXPECT_EQ(server.log().snapshot().front(), "host:version");
    EXPECT_EQ(devices->find("S1")->log.snapshot().front(), "features");
}

TEST_F(AdbServerTest, SyncRefusesWhatItCannotStore) {
    Device& d = *devices->find("S1");
    // A good push, its mtime kept.
    int fd = open(request("sync:"));
    ASSERT_EQ(readUpTo(fd, 4), "OKAY");
    writeAll(fd, syncPacket("SEND", "/sdcard/a.bin,33188") + syncPacket("DATA", "abc") +
                     syncHeader("DONE", 1234));
    EXPECT_EQ(readUpTo(fd, 8), syncHeader("OKAY", 0));
    EXPECT_EQ(d.files.read("/sdcard/a.bin"), "abc");
    EXPECT_EQ(d.files.stat("/sdcard/a.bin")->mtime, 1234u);

    // Onto a folder or a read-only place: the data is taken in, then refused, nothing written.
    writeAll(fd, syncPacket("SEND", "/sdcard,33188") + syncPacket("DATA", "x") + syncHeader("DONE", 1));
    const std::string refusal = drain(fd);
    EXPECT_EQ(refusal.substr(0, 4), "FAIL");
    EXPECT_NE(refusal.find("Is a directory"), std::string::npos);
    EXPECT_NE(drain(open(request("sync:") + syncPacket("SEND", "/system/x,33188") + syncHeader("DONE", 1)))
                  .find("Read-only file system"),
              std::string::npos);
    EXPECT_FALSE(d.files.stat("/system/x"));

    // A chunk above 64 KiB breaks the protocol: refused, connection closed, nothing stored.
    EXPECT_NE(
        drain(open(request("sync:") + syncPacket("SEND", "/sdcard/big,33188") + syncHeader("DATA", 65537)))
            .find("FAIL"),
        std::string::npos);
    EXPECT_FALSE(d.files.stat("/sdcard/big"));
    EXPECT_NE(
        drain(open(request("sync:") + syncPacket("STAT", std::string(2000, 'a')))).find("path too long"),
        std::string::npos);

    // A missing file answers FAIL and the session goes on.
    fd = open(request("sync:") + syncPacket("RECV", "/sdcard/none"));
    EXPECT_EQ(readUpTo(fd, 4), "OKAY");
    const std::string failHeader = readUpTo(fd, 8);
    ASSERT_EQ(failHeader.substr(0, 4), "FAIL");
    readUpTo(fd, simtest::le32(failHeader, 4));
    writeAll(fd, syncPacket("RECV", "/sdcard/a.bin"));
    EXPECT_EQ(readUpTo(fd, 11), syncPacket("DATA", "abc"));
    EXPECT_EQ(readUpTo(fd, 8), syncHeader("DONE", 0));
    writeAll(fd, syncHeader("QUIT", 0));
    EXPECT_EQ(drain(fd), "");
}

TEST_F(AdbServerTest, ForwardsReplaceRefuseAndPickPorts) {
    // A port of the system's choosing, reported back framed; then forwarded again elsewhere.
    const std::string reply = exchange(request("host-serial:S1:forward:tcp:0;tcp:20148"));
    ASSERT_EQ(reply.substr(0, 8), "OKAYOKAY");
    EXPECT_EQ(reply.substr(8, 4), hex4(reply.size() - 12));
    const int local = std::stoi(reply.substr(12));
    const std::string localSocket = "tcp:" + std::to_string(local);
    EXPECT_EQ(server.forwards(), std::vector<std::string>{"S1 " + localSocket + " tcp:20148"});

    EXPECT_EQ(exchange(request("host-serial:S1:forward:" + localSocket + ";tcp:20149")), "OKAYOKAY");
    EXPECT_EQ(server.forwards(), std::vector<std::string>{"S1 " + localSocket + " tcp:20149"});
    const int fd = connectTcp(local);
    EXPECT_GE(fd, 0) << "still listening after the replacement";
    ::close(fd);

    EXPECT_EQ(exchange(request("host-serial:S1:forward:norebind:" + localSocket + ";tcp:20148")),
              fail("cannot rebind existing socket"));
    EXPECT_EQ(exchange(request("host-serial:S1:forward:tcp:1;localabstract:x")).substr(0, 4), "FAIL");
    EXPECT_EQ(exchange(request("host-serial:S1:killforward:tcp:1")), fail("listener 'tcp:1' not found"));
    EXPECT_EQ(exchange(request("host-serial:S1:killforward:" + localSocket)), "OKAYOKAY");
    EXPECT_TRUE(server.forwards().empty());
    EXPECT_LT(connectTcp(local), 0);
}

TEST_F(AdbServerTest, StopEndsHangingAndIdleConnections) {
    devices->find("S1")->addHangingShellPrefix("am force-stop");
    const int hanging = open(request("shell:am force-stop x"));
    EXPECT_EQ(readUpTo(hanging, 4), "OKAY");
    EXPECT_EQ(drain(open(request("shell:echo alive"))), "OKAYalive\n") << "the hang holds up only itself";
    const int idle = connectTcp(port);
    exchange(request("host-serial:S1:forward:tcp:0;tcp:20148"));

    server.stop(); // returns only once every connection thread is done
    EXPECT_EQ(drain(hanging), "");
    EXPECT_EQ(drain(idle), "");
    EXPECT_TRUE(server.forwards().empty());
    EXPECT_LT(connectTcp(port), 0);
}

TEST(TcpServer, StopWaitsForEveryConnectionThreadAndStaysStopped) {
    std::atomic<int> started{0}, ended{0};
    TcpServer tcp;
    std::string error;
    const int port = tcp.start(
        0,
        [&](int fd) {
            ++started;
            char c;
            while (::recv(fd, &c, 1, 0) > 0) {} // until stop() shuts the connection down
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ++ended;
        },
        &error);
    ASSERT_GT(port, 0) << error;
    EXPECT_LT(tcp.start(0, [](int) {}), 0) << "one listener per server";

    int fds[3];
    for (int& fd : fds) ASSERT_GE(fd = connectTcp(port), 0);
    for (int i = 0; i < 500 && started.load() < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(started.load(), 3);

    tcp.stop();
    EXPECT_EQ(ended.load(), 3) << "stop() returned before its connection threads ended";
    for (int fd : fds) {
        EXPECT_TRUE(simtest::closedByPeer(fd));
        ::close(fd);
    }
    EXPECT_LT(connectTcp(port), 0);
    EXPECT_LT(tcp.start(0, [](int) {}), 0) << "a stopped server does not start again";
}
