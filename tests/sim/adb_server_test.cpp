// The adb server at the byte level, for what the real client never sends: broken framing,
// oversized sync packets, refused pushes, forward replacement and stopping with work in hand.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "adb/framing.h"
#include "adb/io.h"
#include "adb/server.h"
#include "scenario.h"

using namespace zsim;
using namespace zsim::adb;

namespace {

int connectTo(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string request(const std::string& text)
{
    return hex4(text.size()) + text;
}

std::string readAll(int fd)
{
    std::string out;
    char buffer[4096];
    ssize_t got;
    while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
        out.append(buffer, static_cast<size_t>(got));
    return out;
}

std::string readN(int fd, size_t n)
{
    std::string out(n, '\0');
    return readExact(fd, out.data(), n) ? out : std::string();
}

std::string syncPacket(const char* id, const std::string& body)
{
    return syncHeader(id, static_cast<uint32_t>(body.size())) + body;
}

} // namespace

class AdbServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        devices->add(makeDevice("S1", 1));
        std::string error;
        port = server.start(0, &error);
        ASSERT_GT(port, 0) << error;
    }

    // A connection already switched to S1.
    int open()
    {
        int fd = connectTo(port);
        EXPECT_GE(fd, 0);
        EXPECT_TRUE(writeAll(fd, request("host:tport:serial:S1")));
        EXPECT_EQ(readN(fd, 12), std::string("OKAY\x01\0\0\0\0\0\0\0", 12)); // transport id 1
        return fd;
    }

    // One request on a fresh connection, everything the server answers until it closes.
    std::string exchange(const std::string& raw)
    {
        int fd = connectTo(port);
        writeAll(fd, raw);
        std::string reply = readAll(fd);
        ::close(fd);
        return reply;
    }

    std::shared_ptr<DeviceList> devices = std::make_shared<DeviceList>();
    AdbServer server{devices};
    int port = 0;
};

TEST_F(AdbServerTest, HostRequestsAndRefusals)
{
    EXPECT_EQ(exchange(request("host:version")), "OKAY00040029");
    EXPECT_EQ(exchange(request("host:devices")), okayWith("S1\tdevice\n"));
    EXPECT_EQ(exchange("zz10host:version"), fail("bad request length"));
    EXPECT_EQ(exchange(request("host:frobnicate")), fail("unknown host service"));
    EXPECT_EQ(exchange(request("host-serial:NOPE:features")), fail("device 'NOPE' not found"));
    EXPECT_EQ(exchange(request("host-serial:S1:features")), "OKAY0000");

    devices->find("S1")->setState("offline");
    EXPECT_EQ(exchange(request("host:tport:serial:S1")), fail("device offline"));
    EXPECT_EQ(exchange(request("host-serial:S1:get-state")), okayWith("offline"));
    devices->find("S1")->setState("removed");
    EXPECT_EQ(exchange(request("host:devices")), "OKAY0000");
    EXPECT_EQ(exchange(request("shell:ls")), fail("no devices/emulators found"));

    EXPECT_EQ(server.log().snapshot().front(), "host:version");
    EXPECT_EQ(devices->find("S1")->log.snapshot().front(), "features");
}

TEST_F(AdbServerTest, ShellAfterTransportSwitchAndBadServices)
{
    int fd = open();
    writeAll(fd, request("shell:echo 'hi there'"));
    EXPECT_EQ(readAll(fd), "OKAYhi there\n");
    ::close(fd);

    fd = open();
    writeAll(fd, request("reboot:"));
    EXPECT_EQ(readAll(fd), fail("closed"));
    ::close(fd);
}

TEST_F(AdbServerTest, SyncRefusesWhatItCannotStore)
{
    Device& d = *devices->find("S1");
    int fd = open();
    writeAll(fd, request("sync:"));
    ASSERT_EQ(readN(fd, 4), "OKAY");

    // A good push, its mtime kept.
    writeAll(fd, syncPacket("SEND", "/sdcard/a.bin,33188") + syncPacket("DATA", "abc") + syncHeader("DONE", 1234));
    EXPECT_EQ(readN(fd, 8), syncHeader("OKAY", 0));
    EXPECT_EQ(d.files.read("/sdcard/a.bin"), "abc");
    EXPECT_EQ(d.files.stat("/sdcard/a.bin")->mtime, 1234u);

    // Onto a folder or a read-only place: the data is taken in, then refused, nothing written.
    writeAll(fd, syncPacket("SEND", "/sdcard,33188") + syncPacket("DATA", "x") + syncHeader("DONE", 1));
    std::string refusal = readAll(fd);
    EXPECT_EQ(refusal.substr(0, 4), "FAIL");
    EXPECT_NE(refusal.find("Is a directory"), std::string::npos);
    ::close(fd);

    fd = open();
    writeAll(fd, request("sync:") + syncPacket("SEND", "/system/x,33188") + syncHeader("DONE", 1));
    EXPECT_NE(readAll(fd).find("Read-only file system"), std::string::npos);
    ::close(fd);
    EXPECT_FALSE(d.files.stat("/system/x"));

    // A chunk above 64 KiB breaks the protocol: refused, connection closed, nothing stored.
    fd = open();
    writeAll(fd, request("sync:") + syncPacket("SEND", "/sdcard/big,33188") + syncHeader("DATA", 65537));
    std::string reply = readAll(fd);
    EXPECT_NE(reply.find("FAIL"), std::string::npos);
    ::close(fd);
    EXPECT_FALSE(d.files.stat("/sdcard/big"));

    fd = open();
    writeAll(fd, request("sync:") + syncPacket("STAT", std::string(2000, 'a')));
    EXPECT_NE(readAll(fd).find("path too long"), std::string::npos);
    ::close(fd);

    // A missing file answers FAIL and the session goes on.
    fd = open();
    writeAll(fd, request("sync:") + syncPacket("RECV", "/sdcard/none"));
    EXPECT_EQ(readN(fd, 4), "OKAY");
    std::string failHeader = readN(fd, 8);
    ASSERT_EQ(failHeader.substr(0, 4), "FAIL");
    readN(fd, getLe32(reinterpret_cast<const unsigned char*>(failHeader.data() + 4)));
    writeAll(fd, syncPacket("RECV", "/sdcard/a.bin"));
    EXPECT_EQ(readN(fd, 11), syncPacket("DATA", "abc"));
    EXPECT_EQ(readN(fd, 8), syncHeader("DONE", 0));
    writeAll(fd, syncHeader("QUIT", 0));
    EXPECT_EQ(readAll(fd), "");
    ::close(fd);
}

TEST_F(AdbServerTest, ForwardsReplaceRefuseAndPickPorts)
{
    // A port of the system's choosing, reported back framed; then forwarded again elsewhere.
    std::string reply = exchange(request("host-serial:S1:forward:tcp:0;tcp:20148"));
    ASSERT_EQ(reply.substr(0, 8), "OKAYOKAY");
    const int local = std::stoi(reply.substr(12));
    EXPECT_EQ(reply.substr(8, 4), hex4(reply.size() - 12));
    const std::string localSocket = "tcp:" + std::to_string(local);
    EXPECT_EQ(server.forwards(), std::vector<std::string>{"S1 " + localSocket + " tcp:20148"});

    EXPECT_EQ(exchange(request("host-serial:S1:forward:" + localSocket + ";tcp:20149")), "OKAYOKAY");
    EXPECT_EQ(server.forwards(), std::vector<std::string>{"S1 " + localSocket + " tcp:20149"});
    int fd = connectTo(local);
    EXPECT_GE(fd, 0); // still listening after the replacement
    ::close(fd);

    EXPECT_EQ(exchange(request("host-serial:S1:forward:norebind:" + localSocket + ";tcp:20148")),
              fail("cannot rebind existing socket"));
    EXPECT_EQ(exchange(request("host-serial:S1:forward:tcp:1;localabstract:x")).substr(0, 4), "FAIL");
    EXPECT_EQ(exchange(request("host-serial:S1:killforward:tcp:1")), fail("listener 'tcp:1' not found"));
    EXPECT_EQ(exchange(request("host-serial:S1:killforward:" + localSocket)), "OKAYOKAY");
    EXPECT_TRUE(server.forwards().empty());
    EXPECT_LT(connectTo(local), 0);
}

TEST_F(AdbServerTest, StopEndsHangingAndIdleConnections)
{
    devices->find("S1")->addHangingShellPrefix("am force-stop");
    int hanging = open();
    writeAll(hanging, request("shell:am force-stop x"));
    EXPECT_EQ(readN(hanging, 4), "OKAY");
    int idle = connectTo(port);
    exchange(request("host-serial:S1:forward:tcp:0;tcp:20148"));

    server.stop(); // returns only once every connection thread is done
    EXPECT_EQ(readAll(hanging), "");
    EXPECT_EQ(readAll(idle), "");
    EXPECT_TRUE(server.forwards().empty());
    EXPECT_LT(connectTo(port), 0);
    ::close(hanging);
    ::close(idle);
}
