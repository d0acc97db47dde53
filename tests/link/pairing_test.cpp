// WiFi pairing without adb: the pairing message fields, and the pairing
// server on 127.0.0.1 with scripted phones (a client sending the registration, an in-process
// companion answering the channel the library opens back to it).
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "companion/codec.h"
#include "core/state.h"
#include "link/test_seams.h"
#include "loopback_peer.h"
#include "pairing/pairing_message.h"
#include "pairing/pairing_server.h"
#include "pairing/test_seams.h"
#include "zentrolink.h"

using namespace zentro;
using linktest::LoopbackPeer;
using linktest::PeerConnection;
using zsim::companion::hexEncode;
namespace net = zentro::platform;

TEST(PairingMessage, FieldsAndTheRegistrationPort) {
    int32_t port = -1;
    pairing::PairingFields fields = pairing::splitPairingMessage("CMD_REGISTER:phone:20148;");
    ASSERT_EQ(fields.count, 3);
    EXPECT_TRUE(pairing::registrationPort(fields, port));
    EXPECT_EQ(port, 20148);

    fields = pairing::splitPairingMessage("a:b:c:d:e:f:g:h;");
    EXPECT_EQ(fields.count, 6);
    EXPECT_STREQ(fields.field[5], "f");

    fields = pairing::splitPairingMessage(("CMD_REGISTER:" + std::string(300, 'x') + ":30;A:B").c_str());
    EXPECT_EQ(fields.count, 3); // nothing behind the ";"
    EXPECT_EQ(std::string(fields.field[1]), std::string(127, 'x'));
    EXPECT_TRUE(pairing::registrationPort(fields, port));
    EXPECT_EQ(port, 30);

    EXPECT_FALSE(pairing::registrationPort(pairing::splitPairingMessage("CMD_REGISTERX:p:20148;"), port));
    EXPECT_FALSE(pairing::registrationPort(pairing::splitPairingMessage("cmd_register:p:20148;"), port));
    EXPECT_TRUE(pairing::registrationPort(pairing::splitPairingMessage("CMD_REGISTER:p;"), port));
    EXPECT_EQ(port, 0);

    char text[64];
    pairing::formatPairingText(text, sizeof text, "192.168.1.20", 20166);
    EXPECT_STREQ(text, "PC_SERVERIP:192.168.1.20:20166");
}

namespace {

// A companion listening on 127.0.0.1 as a WiFi phone would, with its own device information;
// `greeting` answers the handshake.
std::unique_ptr<LoopbackPeer> wifiCompanion(const std::string& serial,
                                            const std::string& greeting = "HI-PC") {
    const std::map<std::string, std::string> replies = {
        {"hello-transfer;", greeting},
        {"getDevciesInfo;", "BRAND:" + hexEncode("Vantrey") + ";MODEL:" + hexEncode("V10") +
                                ";ANDROIDVERSION:" + hexEncode("13") + ";SERIAL:" + hexEncode(serial) +
                                ";MEMTOTAL:4096;."},
        {"sync_zentrolink_ConnectOK;", linktest::lengthBytes(1)}};
    return std::make_unique<LoopbackPeer>([replies](PeerConnection& c, int) {
        while (auto command = c.readCommand()) {
            const auto reply = replies.find(*command);
            c.sendReply(reply != replies.end() ? reply->second : "");
        }
    });
}

class PairingServerTest : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        timings_.idleReadSleepMs = 10;
        timings_.socket.receiveTimeoutMs = 5000;
        link::setLinkTimingsForTests(timings_);
        listenForWifi();
        firstPort_ = freePort();
        pairing::setPairingOptionsForTests({"127.0.0.1", firstPort_});
    }

    // Starts the server the way a host does; its port.
    uint16_t startServer() {
        EXPECT_EQ(Zentro_GetPCQRGeneratorImage(temp.file("qr.bmp").c_str(), 0), 0);
        pairing::TCPServer* server = pairing::pairingServerForTests();
        return server != nullptr ? server->port() : 0;
    }

    // A phone's connection to the pairing server.
    net::SocketHandle phone(uint16_t serverPort) {
        net::socketLibraryStart();
        net::SocketHandle socket = net::tcpConnect("127.0.0.1", serverPort, net::ClientOptions{});
        EXPECT_NE(socket, 0);
        phones_.push_back(socket);
        return socket;
    }

    static void say(net::SocketHandle socket, const std::string& text) {
        net::tcpSendPair(socket, text.data(), text.size(), nullptr, 0);
    }

    static std::string registration(uint16_t companionPort) {
        return "CMD_REGISTER:phone:" + std::to_string(companionPort) + ";";
    }

    void TearDown() override {
        ztest::resetLibraryState(); // the server first, while the companions still answer
        for (net::SocketHandle socket : phones_) {
            net::tcpClose(socket);
            net::socketLibraryRelease();
        }
        LinkTest::TearDown();
    }

    uint16_t firstPort_ = 0;
    std::vector<net::SocketHandle> phones_;
};

} // namespace

TEST_F(PairingServerTest, RegistrationsFillWifiRowsAtTheChosenIndexAndCallBackOnTheServerThread) {
    // The first port is taken: the server moves up, and later requests keep it.
    net::socketLibraryStart();
    phones_.push_back(net::tcpListen("127.0.0.1", firstPort_, 1));
    ASSERT_NE(phones_.back(), 0);
    const uint16_t port = startServer();
    EXPECT_GT(port, firstPort_);
    EXPECT_LE(port, firstPort_ + 21 * 520);
    pairing::TCPServer* server = pairing::pairingServerForTests();
    EXPECT_STREQ(server->serverAddress(), "127.0.0.1");
    EXPECT_EQ(startServer(), port);
    EXPECT_EQ(pairing::pairingServerForTests(), server);

    auto companion = wifiCompanion("R58M12345");

    // Byte by byte: nothing happens before the ";".
    net::SocketHandle first = phone(port);
    const std::string message = registration(companion->port());
    for (size_t i = 0; i + 1 < message.size(); ++i) {
        say(first, message.substr(i, 1));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(companion->connections(), 0);
    say(first, ";");

    ASSERT_TRUE(ztest::waitFor([] { return wifiCalls_.load() == 1; }, std::chrono::seconds(10)));
    EXPECT_EQ(wifiValue_.load(), 0);
    EXPECT_NE(wifiThread_, std::this_thread::get_id());
    const core::DeviceEntry* row = core::deviceRow(0);
    EXPECT_STREQ(row->serial, "R58M12345127.0.0.1");
    EXPECT_STREQ(row->brand, "Vantrey");
    EXPECT_STREQ(row->model, "V10");
    EXPECT_STREQ(row->androidVersion, "13");
    EXPECT_EQ(row->port, companion->port());
    EXPECT_EQ(core::state().wifiDeviceCount, 1);

    // Channel 0 in use, channel 1 not: the next phone takes index 1; with both in use, 0 again.
    auto second = wifiCompanion("SECOND");
    say(phone(port), registration(second->port()));
    ASSERT_TRUE(ztest::waitFor([] { return wifiCalls_.load() == 2; }, std::chrono::seconds(10)));
    EXPECT_STREQ(core::deviceRow(1)->serial, "SECOND127.0.0.1");
    EXPECT_EQ(core::deviceRow(1)->port, second->port());
    EXPECT_EQ(core::deviceRow(0)->port, companion->port());

    auto third = wifiCompanion("THIRD");
    say(first, registration(third->port()));
    ASSERT_TRUE(ztest::waitFor([] { return wifiCalls_.load() == 3; }, std::chrono::seconds(10)));
    EXPECT_STREQ(core::deviceRow(0)->serial, "THIRD127.0.0.1");
    EXPECT_EQ(core::deviceRow(0)->port, third->port());
    EXPECT_EQ(core::state().wifiDeviceCount, 3);
}

TEST_F(PairingServerTest, OtherWordsOverlongMessagesAndFailedPhonesChangeNothing) {
    auto good = wifiCompanion("GOOD");
    auto wrongGreeting = wifiCompanion("BAD", "HI-PC ");
    // Answers the handshake, and the information request with an empty reply.
    auto noInfo = std::make_unique<LoopbackPeer>([](PeerConnection& c, int) {
        while (auto command = c.readCommand()) c.sendReply(*command == "hello-transfer;" ? "HI-PC" : "");
    });
    const uint16_t port = startServer();
    net::SocketHandle socket = phone(port);

    say(socket, "CMD_HELLO:phone:" + std::to_string(good->port()) + ";");
    // Its first 511 bytes alone would be a good registration: only dropping it whole ignores it.
    say(socket, "CMD_REGISTER:phone:" + std::to_string(good->port()) + ":" + std::string(600, 'x') + ";");
    say(socket, registration(static_cast<uint16_t>(0)));
    say(socket, registration(wrongGreeting->port()));
    say(socket, registration(noInfo->port()));
    // The same connection is still read after all that.
    say(socket, registration(good->port()));

    ASSERT_TRUE(ztest::waitFor([] { return wifiCalls_.load() >= 1; }, std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(wifiCalls_.load(), 1);
    EXPECT_EQ(core::state().wifiDeviceCount, 1);
    EXPECT_EQ(good->connections(), 1); // only the last message reached it
    EXPECT_STREQ(core::deviceRow(0)->serial, "GOOD127.0.0.1");
    EXPECT_TRUE(logHas("longer than 511 bytes, dropped\n"));

    // The handshake that failed stopped there; the phone without information got no notice.
    EXPECT_EQ(wrongGreeting->commands(), std::vector<std::string>{"hello-transfer;"});
    EXPECT_EQ(noInfo->commands(), (std::vector<std::string>{"hello-transfer;", "getDevciesInfo;"}));
}

TEST_F(PairingServerTest, RegistrationsCannotTakeTheIndexOfAUsbPhoneInUse) {
    // The phone on the cable answers every command with the status 1.
    LoopbackPeer usbPhone([](PeerConnection& c, int) {
        while (c.readCommand()) c.sendReply(linktest::lengthBytes(1));
    });
    usbIndexZeroReaches(usbPhone.port());
    char reply[4] = {};
    ASSERT_EQ(link::sendCommand("hello-transfer;", reply, 4, nullptr, 0, 0), 4);

    // A LAN peer registers twice: the first takes the free index 1, the second would take 0.
    auto first = wifiCompanion("PEERONE");
    auto second = wifiCompanion("PEERTWO");
    const uint16_t port = startServer();
    net::SocketHandle lan = phone(port);
    say(lan, registration(first->port()));
    ASSERT_TRUE(ztest::waitFor([] { return wifiCalls_.load() == 1; }, std::chrono::seconds(10)));
    say(lan, registration(second->port()));
    ASSERT_TRUE(ztest::waitFor(
        [&] { return logHas("WiFi registration from 127.0.0.1 refused: index 0 is in use\n"); },
        std::chrono::seconds(10)));
    EXPECT_EQ(second->connections(), 0);
    EXPECT_EQ(wifiCalls_.load(), 1);
    EXPECT_EQ(core::deviceRow(0)->connectionKind, core::kConnectionUsb);

    // What the host sends device 0 still reaches the phone on the cable.
    ASSERT_EQ(link::sendCommand("ping;", reply, 4, nullptr, 0, 0), 4);
    EXPECT_EQ(usbPhone.commands(), (std::vector<std::string>{"hello-transfer;", "ping;"}));
}
