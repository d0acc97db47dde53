// A smoke of the virtual phone through the real adb client: listing, file transfer, the
// companion's install and handshake. The end-to-end suites exercise the rest of it.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "scenario.h"
#include "virtual_phone.h"

namespace {

std::string adb(const std::string& args) {
    std::string out;
    FILE* pipe = ::popen(("timeout 30 /usr/bin/adb " + args + " 2>&1").c_str(), "r");
    char buffer[4096];
    for (size_t got; pipe && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, got);
    if (pipe) ::pclose(pipe);
    return out;
}

// One companion exchange: the reply body behind its 4-byte little-endian length.
std::string exchange(int port, const std::string& command) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in addr{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    std::string body;
    unsigned char head[4];
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::send(fd, command.data(), command.size(), MSG_NOSIGNAL) > 0 &&
        ::recv(fd, head, 4, MSG_WAITALL) == 4) {
        body.resize(head[0] | head[1] << 8 | head[2] << 16);
        body.resize(std::max<ssize_t>(0, ::recv(fd, body.data(), body.size(), MSG_WAITALL)));
    }
    ::close(fd);
    return body;
}

} // namespace

TEST(PhoneSmoke, ListsTransfersInstallsAndAnswersThroughTheRealClient) {
    ztest::VirtualPhone phone;
    phone.exportAdbPort();
    const std::string p0 = zsim::defaultSerial(0), p1 = zsim::defaultSerial(1), s = "-s " + p0 + " ";
    EXPECT_EQ(adb("devices"), "List of devices attached\n" + p0 + "\tdevice\n" + p1 + "\tdevice\n\n");
    phone.setState(p0, "unauthorized");
    EXPECT_NE(adb(s + "shell echo hi").find("unauthorized"), std::string::npos);
    phone.setState(p0, "device");

    char name[] = "/tmp/zentro-smoke-XXXXXX";
    const std::string dir = ::mkdtemp(name);
    std::string big(150 * 1024 + 7, '\0'); // several sync chunks and a partial one
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 >> 3);
    std::ofstream(dir + "/big.bin", std::ios::binary) << big;
    adb(s + "push " + dir + "/big.bin /sdcard/Download/big.bin");
    adb(s + "pull /sdcard/Download/big.bin " + dir + "/back.bin");
    std::ostringstream back;
    back << std::ifstream(dir + "/back.bin", std::ios::binary).rdbuf();
    EXPECT_EQ(back.str(), big);

    const std::string package = "com.vantrey.pocketdesk";
    std::ofstream(dir + "/zentrolink.apk") << "package=" + package + "\n";
    EXPECT_NE(adb(s + "install -r " + dir + "/zentrolink.apk").find("Success"), std::string::npos);
    adb(s + "shell am start -n " + package + "/" + package + ".ui.MainActivity");
    adb(s + "forward tcp:30148 tcp:20148");
    EXPECT_EQ(exchange(30148, "hello-transfer;"), "HI-PC");
    adb(s + "shell am force-stop " + package);
    EXPECT_EQ(exchange(30148, "hello-transfer;"), "");
    const auto log = phone.requestLog(p0);
    EXPECT_NE(std::find(log.begin(), log.end(), "shell:pm 'install' '-r' '/data/local/tmp/zentrolink.apk'"),
              log.end());
    EXPECT_TRUE(phone.requestLog(p1).empty()) << "requests reach only the phone they name";
    std::system(("rm -rf " + dir).c_str());
}
