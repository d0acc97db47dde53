// The companion on the wire: framing of commands and payloads, replies with faults applied,
// the connection loop over a socket pair, and the WiFi join over loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "adb/io.h"
#include "companion/codec.h"
#include "companion/companion.h"
#include "companion/wire.h"
#include "sim_helpers.h"

using namespace zsim::companion;
using namespace simtest;
using Fault = zsim::CompanionFault;

namespace {

void sendText(int fd, const std::string& bytes) {
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

Fault fault(Fault::Kind kind, std::string reply = {}) {
    Fault f;
    f.kind = kind;
    f.times = 1;
    f.reply = std::move(reply);
    return f;
}

// A connection to the companion of a running phone, served on a thread of its own.
class CompanionConnection : public ::testing::Test {
protected:
    CompanionConnection()
        : device(std::make_shared<zsim::Device>("SER1", 5)) {
        device->sizes.messages = 12;
        device->companionRunning = true;
    }
    ~CompanionConnection() override { hangUp(); }
    void hangUp() {
        if (peer >= 0) ::close(peer);
        peer = -1;
        if (server.joinable()) server.join();
    }
    void connect(int port = kCommandPortA) {
        hangUp();
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        peer = fds[0];
        server = std::thread([d = device, port, fd = fds[1]] { zsim::serveDevicePort(d, port, fd); });
    }
    std::vector<std::string> companionLog() const {
        std::vector<std::string> out;
        for (const auto& e : device->log.snapshot())
            if (e.rfind("companion:", 0) == 0) out.push_back(e);
        return out;
    }

    std::shared_ptr<zsim::Device> device;
    int peer = -1;
    std::thread server;
};

} // namespace

TEST(CompanionFraming, CommandsAndPayloads) {
    // The worst split, byte by byte, asking for requests after each byte and only at the end.
    const std::string stream = "hello-transfer;write_photofile:5;a;b;cgetsmsPart10:5;write_musicfile:0;x;";
    for (bool askEachByte : {false, true}) {
        RequestReader reader;
        std::vector<Request> got;
        for (char c : stream) {
            reader.feed(&c, 1);
            while (auto r = askEachByte ? reader.next() : std::nullopt) got.push_back(std::move(*r));
        }
        while (auto r = reader.next()) got.push_back(std::move(*r));
        ASSERT_EQ(got.size(), 5u);
        EXPECT_EQ(got[0].text, "hello-transfer;");
        EXPECT_EQ(got[1].text, "write_photofile:5;");
        EXPECT_EQ(got[1].payload, "a;b;c") << "a payload is counted, not scanned for ';'";
        EXPECT_EQ(got[2].text, "getsmsPart10:5;");
        EXPECT_EQ(got[3].payload, "") << "a zero count carries no payload";
        EXPECT_EQ(got[4].text, "x;");
        EXPECT_EQ(reader.buffered(), 0u);
    }

    RequestReader flood;
    const std::string noEnd(kMaxCommandText + 1, 'x');
    flood.feed(noEnd.data(), noEnd.size());
    EXPECT_FALSE(flood.next());
    EXPECT_EQ(flood.error(), RequestReader::Error::CommandTooLong);

    RequestReader huge;
    huge.feed("write_photofile:999999999;", 26);
    EXPECT_FALSE(huge.next());
    EXPECT_EQ(huge.error(), RequestReader::Error::PayloadTooLarge);
}

// The other faults are checked on the wire below; an oversized reply is only seen here.
TEST(CompanionFraming, OversizeClaimsAndSendsMoreThanTheReply) {
    const ReplyPlan plan = planReply("HI-PC", fault(Fault::Kind::Oversize));
    EXPECT_EQ(plan.writes, std::vector<std::string>{std::string("\x0a\0\0\0", 4) + "HI-PCHI-PC"});
    EXPECT_EQ(plan.after, ReplyPlan::After::Serve);
    EXPECT_EQ(planReply("", fault(Fault::Kind::Oversize)).writes.at(0).size(), 12u);
}

TEST_F(CompanionConnection, ManyExchangesAreServedAndLogged) {
    connect();
    EXPECT_EQ(roundTrip(peer, "hello-transfer;"), "HI-PC");
    EXPECT_EQ(roundTrip(peer, "open_photofile:" + hexEncode("p.png") + ";"), leInt32(1));
    const std::string chunk(100000, '\x3b'); // all ';', to show the count is what frames it
    EXPECT_EQ(roundTrip(peer, "write_photofile:100000;", chunk), leInt32(100000));
    EXPECT_EQ(roundTrip(peer, "unknown;"), "");
    EXPECT_EQ(roundTrip(peer, "close_photofile;"), leInt32(1));
    EXPECT_EQ(device->files.read("/sdcard/Images/p.png"), chunk);

    const std::vector<std::string> expected = {"companion:hello-transfer;",
                                               "companion:open_photofile:702E706E67;",
                                               "companion:write_photofile:100000; payload=100000",
                                               "companion:unknown;", "companion:close_photofile;"};
    EXPECT_EQ(companionLog(), expected);
}

TEST_F(CompanionConnection, FaultsAreAppliedAndUsedUp) {
    device->setCompanionFault("hello-transfer", fault(Fault::Kind::CustomReply, "HI-PC "));
    device->setCompanionFault("getsmsCount", fault(Fault::Kind::Empty));
    device->setCompanionFault("getsmsPart10", fault(Fault::Kind::SplitLength));
    Fault slow = fault(Fault::Kind::None);
    slow.delayMs = 300;
    device->setCompanionFault("getcalllogcount", slow);
    connect();
    EXPECT_EQ(roundTrip(peer, "hello-transfer;"), "HI-PC ");
    EXPECT_EQ(roundTrip(peer, "hello-transfer;"), "HI-PC");
    EXPECT_EQ(roundTrip(peer, "getsmsCount;"), "");
    EXPECT_EQ(roundTrip(peer, "getsmsCount;"), leInt32(12));

    // The length arrives in two parts: a single read sees only the first half of it.
    sendText(peer, "getsmsPart10:0;");
    pollfd p{peer, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    char first[4];
    ASSERT_EQ(::recv(peer, first, sizeof first, 0), 2);
    const std::string head = std::string(first, 2) + readUpTo(peer, 2);
    ASSERT_EQ(head.size(), 4u);
    const std::string body = readUpTo(peer, le32(head));
    EXPECT_EQ(body.size(), le32(head));
    EXPECT_EQ(std::count(body.begin(), body.end(), '.'), 5);

    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(roundTrip(peer, "getcalllogcount;").value_or("").size(), 4u);
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(300));
}

TEST_F(CompanionConnection, BrokenRepliesAndBadPeersEndTheConnection) {
    device->setCompanionFault("getsmsPart10", fault(Fault::Kind::CloseMidBody));
    connect();
    sendText(peer, "getsmsPart10:0;");
    const std::string head = readUpTo(peer, 4);
    ASSERT_EQ(head.size(), 4u);
    EXPECT_EQ(readUpTo(peer, le32(head)).size(), le32(head) / 2);
    EXPECT_TRUE(closedByPeer(peer));

    // Close: nothing at all is answered.
    device->setCompanionFault("*", fault(Fault::Kind::Close));
    connect();
    sendText(peer, "getsmsCount;");
    EXPECT_TRUE(closedByPeer(peer));

    // Garbage without an end, and a port the companion does not listen on, are never served.
    connect();
    const std::string flood(kMaxCommandText + 10, 'z');
    ::send(peer, flood.data(), flood.size(), MSG_NOSIGNAL);
    EXPECT_TRUE(closedByPeer(peer));
    connect(5555);
    EXPECT_TRUE(closedByPeer(peer));
    EXPECT_EQ(companionLog(),
              (std::vector<std::string>{"companion:getsmsPart10:0;", "companion:getsmsCount;"}));
}

TEST_F(CompanionConnection, StoppedAppRefusesAndShortBodyIdlesUntilItStops) {
    device->companionRunning = false;
    connect();
    EXPECT_TRUE(closedByPeer(peer));
    EXPECT_TRUE(companionLog().empty());

    device->companionRunning = true;
    device->setCompanionFault("hello-transfer", fault(Fault::Kind::ShortBody));
    connect(kCommandPortB);
    sendText(peer, "hello-transfer;");
    const std::string head = readUpTo(peer, 4);
    ASSERT_EQ(head.size(), 4u);
    EXPECT_GT(le32(head), 5u);
    EXPECT_EQ(readUpTo(peer, le32(head), 300), "HI-PC");
    // Further commands are not answered, the connection stays open ...
    sendText(peer, "getsmsCount;");
    EXPECT_FALSE(closedByPeer(peer, 300));
    // ... until the app is stopped (am force-stop).
    device->companionRunning = false;
    EXPECT_TRUE(closedByPeer(peer));
}

TEST(CompanionWifi, PairingTextAndRegistration) {
    const auto target = parsePairingText("PC_SERVERIP:192.168.1.20:20166");
    ASSERT_TRUE(target);
    EXPECT_EQ(target->address, "192.168.1.20");
    EXPECT_EQ(target->port, 20166);
    for (const char* bad :
         {"PC_SERVERIP:192.168.1.20", "PC_SERVERIP:host:20166", "PC_SERVERIP:1.2.3.4:70000", "XX:1.2.3.4:1"})
        EXPECT_FALSE(parsePairingText(bad)) << bad;
    EXPECT_EQ(registerMessage("AB:C;D", 4242), "CMD_REGISTER:AB_C_D:4242;");
}

TEST(CompanionWifi, JoinsAPairingServerAndServesThere) {
    // A pairing server of the test's own on loopback.
    std::string error;
    const int server = zsim::adb::listenTcp("127.0.0.1", 0, &error);
    ASSERT_GE(server, 0) << error;
    const int pcPort = zsim::adb::localPort(server);

    auto device = std::make_shared<zsim::Device>("WIFI1", 9);
    EXPECT_EQ(zsim::startWifiJoin(device, "127.0.0.1", pcPort), -1) << "no address of its own";
    device->setWifiAddress("10.1.2.3");
    EXPECT_EQ(zsim::startWifiJoin(device, "127.0.0.1", pcPort), -1) << "the phone stays on loopback";
    device->setWifiAddress("127.0.0.2");
    EXPECT_EQ(zsim::startWifiJoin(device, "not-an-address", pcPort), -1);

    ASSERT_EQ(zsim::startWifiJoin(device, "127.0.0.1", pcPort), 0);
    EXPECT_TRUE(device->companionRunning.load());
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const int client = ::accept(server, reinterpret_cast<sockaddr*>(&from), &len);
    ASSERT_GE(client, 0);
    char fromText[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, fromText, sizeof fromText);
    EXPECT_STREQ(fromText, "127.0.0.2");
    std::string message;
    while (message.empty() || message.back() != ';') {
        const std::string got = readUpTo(client, 1);
        ASSERT_EQ(got.size(), 1u) << message;
        message += got;
    }
    const auto fields = split(std::string_view(message).substr(0, message.size() - 1), ':');
    ASSERT_EQ(fields.size(), 3u) << message;
    EXPECT_EQ(fields[0], "CMD_REGISTER");
    const auto phonePort = parseDecimal(fields[2]);
    ASSERT_TRUE(phonePort);

    // Connect back to the phone's address and port, as the library does.
    const int channel = connectTcp(static_cast<int>(*phonePort), "127.0.0.2");
    ASSERT_GE(channel, 0);
    EXPECT_EQ(roundTrip(channel, "hello-transfer;"), "HI-PC");
    EXPECT_NE(roundTrip(channel, "getDevciesInfo;").value_or("").find("SERIAL:" + hexEncode("WIFI1") + ";"),
              std::string::npos);
    const auto log = device->log.snapshot();
    EXPECT_NE(std::find(log.begin(), log.end(), "companion:hello-transfer;"), log.end());

    device->companionRunning = false; // the app is closed: its connections and the pairing link go
    EXPECT_TRUE(closedByPeer(channel));
    EXPECT_TRUE(closedByPeer(client));
    ::close(channel);
    ::close(client);

    // A pairing server that is not there.
    ::close(server);
    EXPECT_EQ(zsim::startWifiJoin(device, "127.0.0.1", pcPort), -1);
}
