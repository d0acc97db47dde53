// The companion on the wire: framing of commands and payloads, replies with faults applied,
// the connection loop over a socket pair, and the WiFi join over loopback.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "companion/codec.h"
#include "companion/companion.h"
#include "companion/wire.h"

using namespace zsim::companion;
using Fault = zsim::CompanionFault;

namespace {

// Up to `n` bytes, waiting at most `ms` for each read; fewer when the peer closed or went quiet.
std::string readUpTo(int fd, size_t n, int ms = 5000) {
    std::string out;
    while (out.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, ms) != 1) break;
        char buffer[65536];
        const ssize_t got = ::recv(fd, buffer, std::min(sizeof buffer, n - out.size()), 0);
        if (got <= 0) break;
        out.append(buffer, static_cast<size_t>(got));
    }
    return out;
}

// True when the peer has closed (EOF within `ms`).
bool closedByPeer(int fd, int ms = 5000) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, ms) != 1) return false;
    char c;
    return ::recv(fd, &c, 1, MSG_PEEK) == 0;
}

int32_t lengthOf(const std::string& four) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(four[i]);
    return static_cast<int32_t>(v);
}

void sendText(int fd, const std::string& bytes) {
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

// One exchange: the reply body, or nothing when the framing broke.
std::optional<std::string> roundTrip(int fd, const std::string& command, const std::string& payload = {}) {
    sendText(fd, command + payload);
    const std::string head = readUpTo(fd, 4);
    if (head.size() != 4) return std::nullopt;
    const int32_t length = lengthOf(head);
    std::string body = readUpTo(fd, static_cast<size_t>(std::max(0, length)));
    if (body.size() != static_cast<size_t>(length)) return std::nullopt;
    return body;
}

// A connection to the companion of a running phone, served on a thread of its own.
class CompanionConnection : public ::testing::Test {
protected:
    CompanionConnection() : device(std::make_shared<zsim::Device>("SER1", 5)) {
        device->sizes.messages = 12;
        device->companionRunning = true;
    }
    ~CompanionConnection() override {
        if (peer >= 0) ::close(peer);
        if (server.joinable()) server.join();
    }
    void connect(int port = kCommandPortA) {
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

Fault fault(Fault::Kind kind, int times = 1, std::string reply = {}) {
    Fault f;
    f.kind = kind;
    f.times = times;
    f.reply = std::move(reply);
    return f;
}

} // namespace

TEST(CompanionFraming, CommandsAndPayloads) {
    RequestReader reader;
    const std::string stream = "hello-transfer;write_photofile:5;a;b;cgetsmsPart10:5;write_musicfile:0;x;";
    for (char c : stream) reader.feed(&c, 1); // the worst split: byte by byte
    std::vector<Request> got;
    while (auto r = reader.next()) got.push_back(std::move(*r));
    // Byte-by-byte feeding hands out nothing until asked, so ask after every byte too.
    RequestReader stepwise;
    std::vector<Request> stepped;
    for (char c : stream) {
        stepwise.feed(&c, 1);
        while (auto r = stepwise.next()) stepped.push_back(std::move(*r));
    }
    for (const auto* list : {&got, &stepped}) {
        ASSERT_EQ(list->size(), 5u);
        EXPECT_EQ((*list)[0].text, "hello-transfer;");
        EXPECT_EQ((*list)[1].text, "write_photofile:5;");
        EXPECT_EQ((*list)[1].payload, "a;b;c") << "a payload is counted, not scanned for ';'";
        EXPECT_EQ((*list)[2].text, "getsmsPart10:5;");
        EXPECT_EQ((*list)[3].payload, "") << "a zero count carries no payload";
        EXPECT_EQ((*list)[4].text, "x;");
    }
    EXPECT_EQ(stepwise.buffered(), 0u);

    RequestReader partial;
    partial.feed("write_videofile:3;ab", 20);
    EXPECT_FALSE(partial.next());
    partial.feed("c", 1);
    const auto r = partial.next();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->payload, "abc");

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

TEST(CompanionFraming, FaultsShapeTheReply) {
    const std::string body = "HI-PC";
    const std::string framed = std::string("\x05\0\0\0", 4) + body;

    ReplyPlan plan = planReply(body, Fault{});
    EXPECT_EQ(plan.writes, std::vector<std::string>{framed});
    EXPECT_EQ(plan.after, ReplyPlan::After::Serve);

    Fault slow;
    slow.delayMs = 250;
    EXPECT_EQ(planReply(body, slow).delayMs, 250);
    EXPECT_EQ(planReply(body, slow).writes, std::vector<std::string>{framed});

    plan = planReply(body, fault(Fault::Kind::CloseMidBody));
    EXPECT_EQ(plan.writes, std::vector<std::string>{framed.substr(0, 6)});
    EXPECT_EQ(plan.after, ReplyPlan::After::Close);

    plan = planReply(body, fault(Fault::Kind::ShortBody));
    ASSERT_EQ(plan.writes.size(), 1u);
    EXPECT_GT(lengthOf(plan.writes[0]), 5);
    EXPECT_EQ(plan.writes[0].substr(4), body);
    EXPECT_EQ(plan.after, ReplyPlan::After::Idle);

    plan = planReply(body, fault(Fault::Kind::Oversize));
    EXPECT_EQ(plan.writes, std::vector<std::string>{std::string("\x0a\0\0\0", 4) + body + body});
    EXPECT_EQ(planReply("", fault(Fault::Kind::Oversize)).writes[0].size(), 12u);
    EXPECT_EQ(planReply(body, fault(Fault::Kind::Empty)).writes, std::vector<std::string>{std::string(4, '\0')});
    EXPECT_EQ(planReply(body, fault(Fault::Kind::CustomReply, 1, "HI-PC ")).writes,
              std::vector<std::string>{std::string("\x06\0\0\0", 4) + "HI-PC "});

    plan = planReply(body, fault(Fault::Kind::SplitLength));
    EXPECT_EQ(plan.writes, (std::vector<std::string>{framed.substr(0, 2), framed.substr(2)}));
    EXPECT_GT(plan.pauseMs, 0);

    plan = planReply(body, fault(Fault::Kind::Close));
    EXPECT_TRUE(plan.writes.empty());
    EXPECT_EQ(plan.after, ReplyPlan::After::Close);
}

TEST_F(CompanionConnection, ManyExchangesAreServedAndLogged) {
    connect();
    EXPECT_EQ(roundTrip(peer, "hello-transfer;"), std::optional<std::string>("HI-PC"));
    EXPECT_EQ(roundTrip(peer, "getsmsCount;"), std::optional<std::string>(leInt32(12)));
    const auto page = roundTrip(peer, "getsmsPart10:10;");
    ASSERT_TRUE(page);
    EXPECT_EQ(std::count(page->begin(), page->end(), '.'), 2);
    EXPECT_EQ(roundTrip(peer, "open_photofile:" + hexEncode("p.png") + ";"), std::optional<std::string>(leInt32(1)));
    const std::string chunk(100000, '\x3b'); // all ';', to show the count is what frames it
    EXPECT_EQ(roundTrip(peer, "write_photofile:100000;", chunk), std::optional<std::string>(leInt32(100000)));
    EXPECT_EQ(roundTrip(peer, "unknown;"), std::optional<std::string>(""));
    EXPECT_EQ(roundTrip(peer, "close_photofile;"), std::optional<std::string>(leInt32(1)));
    EXPECT_EQ(device->files.read("/sdcard/Images/p.png"), std::optional<std::string>(chunk));

    const std::vector<std::string> expected = {"companion:hello-transfer;",
                                               "companion:getsmsCount;",
                                               "companion:getsmsPart10:10;",
                                               "companion:open_photofile:702E706E67;",
                                               "companion:write_photofile:100000; payload=100000",
                                               "companion:unknown;",
                                               "companion:close_photofile;"};
    EXPECT_EQ(companionLog(), expected);
}

TEST_F(CompanionConnection, FaultsAreAppliedAndUsedUp) {
    device->setCompanionFault("hello-transfer", fault(Fault::Kind::CustomReply, 1, "HI-PC "));
    device->setCompanionFault("getsmsCount", fault(Fault::Kind::Empty, 1));
    device->setCompanionFault("getsmsPart10", fault(Fault::Kind::SplitLength, 1));
    Fault slow;
    slow.delayMs = 300;
    slow.times = 1;
    device->setCompanionFault("getcalllogcount", slow);
    connect();
    EXPECT_EQ(roundTrip(peer, "hello-transfer;"), std::optional<std::string>("HI-PC "));
    EXPECT_EQ(roundTrip(peer, "hello-transfer;"), std::optional<std::string>("HI-PC"));
    EXPECT_EQ(roundTrip(peer, "getsmsCount;"), std::optional<std::string>(""));
    EXPECT_EQ(roundTrip(peer, "getsmsCount;"), std::optional<std::string>(leInt32(12)));

    // The length arrives in two parts: a single read sees only the first half of it.
    sendText(peer, "getsmsPart10:0;");
    pollfd p{peer, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    char first[4];
    ASSERT_EQ(::recv(peer, first, sizeof first, 0), 2);
    const std::string head = std::string(first, 2) + readUpTo(peer, 2);
    ASSERT_EQ(head.size(), 4u);
    const std::string body = readUpTo(peer, static_cast<size_t>(lengthOf(head)));
    EXPECT_EQ(body.size(), static_cast<size_t>(lengthOf(head)));
    EXPECT_EQ(std::count(body.begin(), body.end(), '.'), 5);

    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(roundTrip(peer, "getcalllogcount;")->size(), 4u);
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(300));
}

TEST_F(CompanionConnection, BrokenRepliesEndTheConnection) {
    device->setCompanionFault("getsmsPart10", fault(Fault::Kind::CloseMidBody, 1));
    connect();
    sendText(peer, "getsmsPart10:0;");
    const std::string head = readUpTo(peer, 4);
    ASSERT_EQ(head.size(), 4u);
    const std::string half = readUpTo(peer, static_cast<size_t>(lengthOf(head)));
    EXPECT_EQ(half.size(), static_cast<size_t>(lengthOf(head) / 2));
    EXPECT_TRUE(closedByPeer(peer));
}

TEST_F(CompanionConnection, CloseAnswersNothing) {
    device->setCompanionFault("*", fault(Fault::Kind::Close, 1));
    connect();
    sendText(peer, "getsmsCount;");
    EXPECT_TRUE(closedByPeer(peer));
    EXPECT_EQ(companionLog(), std::vector<std::string>{"companion:getsmsCount;"});
}

TEST_F(CompanionConnection, ShortBodyIdlesUntilTheAppStops) {
    device->setCompanionFault("hello-transfer", fault(Fault::Kind::ShortBody, 1));
    connect();
    sendText(peer, "hello-transfer;");
    const std::string head = readUpTo(peer, 4);
    ASSERT_EQ(head.size(), 4u);
    EXPECT_GT(lengthOf(head), 5);
    EXPECT_EQ(readUpTo(peer, static_cast<size_t>(lengthOf(head)), 300), "HI-PC");
    // Further commands are not answered, the connection stays open ...
    sendText(peer, "getsmsCount;");
    EXPECT_FALSE(closedByPeer(peer, 300));
    // ... until the app is stopped.
    device->companionRunning = false;
    EXPECT_TRUE(closedByPeer(peer));
}

TEST_F(CompanionConnection, StoppedAppOrOtherPortRefuses) {
    device->companionRunning = false;
    connect();
    EXPECT_TRUE(closedByPeer(peer));
    server.join();
    ::close(peer);
    device->companionRunning = true;
    connect(5555);
    EXPECT_TRUE(closedByPeer(peer));
    server.join();
    ::close(peer);
    EXPECT_TRUE(companionLog().empty());

    connect(kCommandPortB);
    EXPECT_EQ(roundTrip(peer, "hello-transfer;"), std::optional<std::string>("HI-PC"));
    device->companionRunning = false; // am force-stop
    EXPECT_TRUE(closedByPeer(peer));
}

TEST_F(CompanionConnection, GarbageWithoutEndIsDropped) {
    connect();
    const std::string flood(kMaxCommandText + 10, 'z');
    ::send(peer, flood.data(), flood.size(), MSG_NOSIGNAL);
    EXPECT_TRUE(closedByPeer(peer));
    EXPECT_TRUE(companionLog().empty());
}

TEST(CompanionWifi, PairingTextAndRegistration) {
    const auto target = parsePairingText("PC_SERVERIP:192.168.1.20:20166");
    ASSERT_TRUE(target);
    EXPECT_EQ(target->address, "192.168.1.20");
    EXPECT_EQ(target->port, 20166);
    EXPECT_FALSE(parsePairingText("PC_SERVERIP:192.168.1.20"));
    EXPECT_FALSE(parsePairingText("PC_SERVERIP:host:20166"));
    EXPECT_FALSE(parsePairingText("PC_SERVERIP:1.2.3.4:70000"));
    EXPECT_FALSE(parsePairingText("XX:1.2.3.4:1"));
    EXPECT_EQ(registerMessage("AB:C;D", 4242), "CMD_REGISTER:AB_C_D:4242;");
}

TEST(CompanionWifi, JoinsAPairingServerAndServesThere) {
    // A pairing server of the test's own on loopback.
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(server, 4), 0);
    ASSERT_EQ(::getsockname(server, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    const int pcPort = ntohs(addr.sin_port);

    auto device = std::make_shared<zsim::Device>("WIFI1", 9);
    EXPECT_EQ(zsim::startWifiJoin(device, "127.0.0.1", pcPort), -1) << "no address of its own";
    device->setWifiAddress("10.1.2.3");
    EXPECT_EQ(zsim::startWifiJoin(device, "127.0.0.1", pcPort), -1) << "the phone stays on loopback";
    device->setWifiAddress("127.0.0.2");
    EXPECT_EQ(zsim::startWifiJoin(device, "not-an-address", pcPort), -1);

    ASSERT_EQ(zsim::startWifiJoin(device, "127.0.0.1", pcPort), 0);
    EXPECT_TRUE(device->companionRunning.load());
    sockaddr_in from{};
    len = sizeof from;
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
    message.pop_back();
    const auto fields = split(message, ':');
    ASSERT_EQ(fields.size(), 3u) << message;
    EXPECT_EQ(fields[0], "CMD_REGISTER");
    const auto phonePort = parseDecimal(fields[2]);
    ASSERT_TRUE(phonePort);

    // Connect back to the phone's address and port, as the library does.
    const int channel = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in phone{};
    phone.sin_family = AF_INET;
    phone.sin_port = htons(static_cast<uint16_t>(*phonePort));
    ::inet_pton(AF_INET, "127.0.0.2", &phone.sin_addr);
    ASSERT_EQ(::connect(channel, reinterpret_cast<sockaddr*>(&phone), sizeof phone), 0);
    EXPECT_EQ(roundTrip(channel, "hello-transfer;"), std::optional<std::string>("HI-PC"));
    const auto info = roundTrip(channel, "getDevciesInfo;");
    ASSERT_TRUE(info);
    EXPECT_NE(info->find("SERIAL:" + hexEncode("WIFI1") + ";"), std::string::npos);
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
