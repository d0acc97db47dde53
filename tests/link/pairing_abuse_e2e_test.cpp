// The pairing port under abuse from loopback clients: connection floods, garbage, an endless
// message and a trickling client. Afterwards the server thread still runs, the process holds
// about the memory and descriptors it held before, and a real phone registers.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/state.h"
#include "link/test_seams.h"
#include "loopback_peer.h"
#include "pairing/pairing_server.h"
#include "pairing/test_seams.h"
#include "process_usage.h"
#include "virtual_phone.h"
#include "zentrolink.h"

using namespace zentro;
namespace net = zentro::platform;

namespace {

std::atomic<int> g_wifiCalls{0};

void ZENTRO_CALL onWifi(int32_t) { g_wifiCalls.fetch_add(1); }

class PairingAbuseE2e : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        g_wifiCalls = 0;
        Zentro_SetWiFiConnectCallBack(onWifi);
        net::socketLibraryStart();
        net::SocketHandle probe = net::tcpListen("127.0.0.1", 0, 1);
        const uint16_t free = net::tcpLocalPort(probe);
        net::tcpClose(probe);
        pairing::setPairingOptionsForTests({"127.0.0.1", free});
        ASSERT_EQ(Zentro_GetPCQRGeneratorImage(images_.file("qr.bmp").c_str(), 0), 0);
        ASSERT_NE(pairing::pairingServerForTests(), nullptr);
        port_ = pairing::pairingServerForTests()->port();
    }
    void TearDown() override {
        LinkTest::TearDown();
        net::socketLibraryRelease();
    }

    // The listening queue holds only a few connections; past it the kernel drops the attempt
    // and the client retries a second later. Keep the flood just inside it, so the test
    // measures the server and not the retry timer.
    void paceConnections(int made) const {
        const pairing::TCPServer* server = pairing::pairingServerForTests();
        ztest::waitFor([&] { return server->acceptedCount() >= made - 3; }, std::chrono::seconds(10));
    }

    net::SocketHandle connectClient() const {
        net::ClientOptions options;
        options.sendTimeoutMs = 10000;
        return net::tcpConnect("127.0.0.1", port_, options);
    }

    // The server reads a client that closes: the thread is alive if it logs the close.
    void expectServerAnswers(const char* after) {
        SCOPED_TRACE(after);
        std::printf("[ abuse  ] %s done at %lld ms, %d descriptors\n", after,
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now() - begun_)
                                               .count()),
                    ztest::openDescriptors());
        zentro::core::resetLogForTests();
        net::SocketHandle probe = connectClient();
        ASSERT_NE(probe, 0);
        net::tcpClose(probe);
        EXPECT_TRUE(ztest::waitFor([&] { return logHas(" close\n"); }, std::chrono::seconds(10)));
    }

    ztest::ScratchFolder images_;
    uint16_t port_ = 0;
    std::chrono::steady_clock::time_point begun_ = std::chrono::steady_clock::now();
};

} // namespace

TEST_F(PairingAbuseE2e, FloodsGarbageEndlessAndTricklingClientsLeaveTheServerServingAndBounded) {
    const int64_t residentBefore = ztest::residentBytes() / 1024;
    const int descriptorsBefore = ztest::openDescriptors();
    const auto started = std::chrono::steady_clock::now();

    int made = 0;
    for (int cycle = 0; cycle < 1000; ++cycle) {
        paceConnections(made++);
        net::SocketHandle client = connectClient();
        ASSERT_NE(client, 0) << "cycle " << cycle;
        net::tcpClose(client);
    }
    expectServerAnswers("connect and close cycles");

    // A hundred clients at once, each with its own noise: random bytes, separators in odd
    // places, registrations naming no port, a port out of range or a port nobody serves.
    std::mt19937 random(17);
    const std::vector<std::string> crafted = {
        "CMD_REGISTER;", "CMD_REGISTER:x:99999999999;", "CMD_REGISTER:x:-5;", "CMD_REGISTER:x:1;",
        ":::::::::;",    std::string("\0\0\0;", 4),     "CMD_REGISTER"};
    std::vector<net::SocketHandle> noisy;
    for (int i = 0; i < 100; ++i) {
        paceConnections(made++);
        net::SocketHandle client = connectClient();
        ASSERT_NE(client, 0);
        std::string noise = crafted[i % crafted.size()];
        for (int n = 0; n < 700; ++n) noise.push_back(static_cast<char>(random()));
        net::tcpSendPair(client, noise.data(), noise.size(), nullptr, 0);
        noisy.push_back(client);
    }
    for (net::SocketHandle client : noisy) net::tcpClose(client);
    expectServerAnswers("garbage clients");

    // Eight megabytes without a ";": the server keeps reading (the send completes) and drops it.
    {
        paceConnections(made++);
        net::SocketHandle client = connectClient();
        ASSERT_NE(client, 0);
        const std::string endless(8 * 1024 * 1024, 'A');
        EXPECT_EQ(net::tcpSendPair(client, endless.data(), endless.size(), "x;", 2),
                  static_cast<int64_t>(endless.size() + 2));
        net::tcpClose(client);
    }
    expectServerAnswers("multi-megabyte message");

    // A client trickling one byte a second stays connected while a real phone registers.
    std::atomic<bool> trickling{true};
    std::thread trickle([&] {
        net::SocketHandle client = connectClient();
        const std::string text = "CMD_REGISTER:slow";
        for (size_t i = 0; i < text.size() && trickling.load(); ++i) {
            net::tcpSendPair(client, &text[i], 1, nullptr, 0);
            for (int tick = 0; tick < 10 && trickling.load(); ++tick)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        net::tcpClose(client);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    {
        ztest::VirtualPhone phone(
            R"({"devices":[{"serial":"WIFIABUSE0","wifiAddress":"127.0.0.3","wifiJoin":true}]})",
            "--wifi-join 127.0.0.1:" + std::to_string(port_));
        EXPECT_TRUE(ztest::waitFor([] { return g_wifiCalls.load() == 1; }, std::chrono::seconds(20)));
        EXPECT_STREQ(core::deviceRow(0)->serial, "WIFIABUSE0127.0.0.3");
        EXPECT_EQ(core::deviceRow(0)->connectionKind, core::kConnectionWifi);
        trickling = false;
        trickle.join();
        link::closeChannel(0); // the channel to the phone, before the phone goes
    }
    std::printf("[ abuse  ] all phases in %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - started)
                                           .count()));

    // Connections taken while every slot was busy may stay open, but only up to their bound.
    const int descriptorsAfter = ztest::openDescriptors();
    EXPECT_LE(descriptorsAfter, descriptorsBefore + static_cast<int>(pairing::kPairingUnservedLimit) + 8);
    const int64_t residentAfter = ztest::residentBytes() / 1024;
    ASSERT_GT(residentBefore, 0);
    EXPECT_LT(residentAfter - residentBefore, 24 * 1024)
        << residentBefore << " KiB before, " << residentAfter;
    std::printf("[ abuse  ] resident %lld -> %lld KiB, descriptors %d -> %d\n",
                static_cast<long long>(residentBefore), static_cast<long long>(residentAfter),
                descriptorsBefore, descriptorsAfter);
}
