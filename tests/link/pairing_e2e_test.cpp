// WiFi pairing end to end: the library's QR image read back by an independent decoder
// (zbarimg), a virtual phone joining the pairing server from 127.0.0.2 with the text it found
// there; a download then goes over the phone's own channel (it has no adb route), and the real adb client
// lists a USB phone next to the WiFi row. Then the pairing port under abuse from loopback clients: afterwards
// the server still runs, the process holds about the memory and descriptors it held before, and a real phone
// registers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/state.h"
#include "core/test_seams.h"
#include "link/command_channel.h"
#include "loopback_peer.h"
#include "pairing/pairing_server.h"
#include "pairing/test_seams.h"
#include "process_usage.h"
#include "reference_phone.h"
#include "virtual_phone.h"
#include "zentrolink.h"

using namespace zentro;
namespace net = zentro::platform;

namespace {

constexpr const char* kSerial = "WIFI0000SERIAL";
constexpr uint32_t kSeed = 23;

// The 24-bit top-down bitmap (black and white) as a binary grey map with a white margin of four
// modules, the quiet zone a reader expects around a symbol. Empty when the header is not the one
// written.
std::string bitmapToPgm(const std::string& bmp) {
    if (bmp.size() < 54 || bmp.compare(0, 2, "BM") != 0) return "";
    auto at32 = [&](size_t at) {
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bmp[at + i]);
        return v;
    };
    const size_t width = at32(18), margin = 32, side = width + 2 * margin;
    if (width == 0 || -static_cast<int32_t>(at32(22)) != static_cast<int32_t>(width) ||
        bmp.size() != 54 + width * width * 3)
        return "";
    std::string pixels(side * side, '\xff');
    for (size_t y = 0; y < width; ++y) {
        for (size_t x = 0; x < width; ++x)
            pixels[(y + margin) * side + x + margin] = bmp[54 + (y * width + x) * 3];
    }
    return "P5\n" + std::to_string(side) + " " + std::to_string(side) + "\n255\n" + pixels;
}

std::string decodeWithZbar(const std::string& imagePath) {
    const std::string command = "zbarimg --raw -q '" + imagePath + "' 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return "";
    std::string text;
    char buffer[256];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
    ::pclose(pipe);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

class PairingE2e : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        listenForWifi();
        net::socketLibraryStart();
        // The server on loopback only, as a host starts it: with the first QR image.
        pairing::setPairingOptionsForTests({"127.0.0.1", freePort()});
        ASSERT_EQ(Zentro_GetPCQRGeneratorImage(temp.file("pair.bmp").c_str(), 0), 0);
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
        zentro::core::resetLogForTests();
        net::SocketHandle probe = connectClient();
        ASSERT_NE(probe, 0);
        net::tcpClose(probe);
        EXPECT_TRUE(ztest::waitFor([&] { return logHas(" close\n"); }, std::chrono::seconds(10)));
    }

    uint16_t port_ = 0;
};

} // namespace

TEST_F(PairingE2e, QrImageDecodesToThePairingTextAndThePhoneItNamesJoinsAndIsServedOverItsOwnChannel) {
    if (std::system("command -v zbarimg >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "zbarimg (zbar-tools) missing";
    const std::string pgm = temp.file("pair.pgm");
    ztest::writeFile(pgm, bitmapToPgm(ztest::readFile(temp.file("pair.bmp"))));
    const std::string text = decodeWithZbar(pgm);
    ASSERT_EQ(text, "PC_SERVERIP:127.0.0.1:" + std::to_string(port_));

    // The phone scans that text: it registers from 127.0.0.2 and serves its companion there.
    const std::string target = text.substr(std::string("PC_SERVERIP:").size());
    ztest::VirtualPhone phone(
        R"({"devices":[{"serial":"WIFI0000SERIAL","seed":23,"wifiAddress":"127.0.0.2","wifiJoin":true},)"
        R"({"serial":"USB00000SERIAL"}]})",
        "--wifi-join " + target);
    ASSERT_TRUE(ztest::waitFor([] { return wifiCalls_.load() == 1; }));
    EXPECT_EQ(wifiValue_.load(), 0);
    const core::DeviceEntry* row = core::deviceRow(0);
    EXPECT_STREQ(row->serial, "WIFI0000SERIAL127.0.0.2");
    EXPECT_STREQ(row->state, "device");
    EXPECT_STREQ(row->address, "127.0.0.2");
    EXPECT_EQ(row->connectionKind, core::kConnectionWifi);
    EXPECT_GT(row->port, 0);
    ASSERT_TRUE(ztest::waitFor([&] { return phone.requestLog("WIFI0000SERIAL").size() >= 3; }));
    EXPECT_EQ(phone.requestLog("WIFI0000SERIAL"),
              (std::vector<std::string>{"companion:hello-transfer;", "companion:getDevciesInfo;",
                                        "companion:sync_zentrolink_ConnectOK;"}));

    // The channel of index 0 now goes straight to the phone, with no adb in between.
    phone.control("clearlog server");
    int32_t count = 0;
    EXPECT_EQ(link::sendCommand("getsmsCount;", reinterpret_cast<char*>(&count), 4, nullptr, 0, 0), 4);
    EXPECT_GT(count, 0);
    EXPECT_EQ(phone.requestLog("WIFI0000SERIAL").back(), "companion:getsmsCount;");
    EXPECT_EQ(phone.control("log server"), "");

    // A download takes the same way.
    ASSERT_GT(Zentro_FlushDevicesPhotos(0), 0);
    PhotoInfo photo{};
    ASSERT_EQ(Zentro_GetPhotoInfo(&photo, 0, 0), 0);
    const std::string pulled = temp.file("first.jpg");
    ASSERT_EQ(Zentro_ExportPhotofromDevice(photo.id, pulled.c_str(), ztest::mediaSize(photo), 0), 0);
    EXPECT_TRUE(ztest::readFile(pulled) == ztest::ReferencePhone(kSerial, kSeed).fileAt(photo.path));
    EXPECT_EQ(phone.control("log server"), "") << "no adb on the way";
    for (const std::string& request : phone.requestLog(kSerial))
        EXPECT_EQ(request.rfind("companion:", 0), 0u) << request;

    // Detection keeps the WiFi row and lists the adb phones behind it, each once.
    phone.exportAdbPort();
    EXPECT_EQ(Zentro_CheckDeviceDetected(0), 0);
    EXPECT_EQ(Zentro_CheckDeviceDetected(1), 0);
    EXPECT_STREQ(core::deviceRow(0)->serial, "WIFI0000SERIAL127.0.0.2");
    EXPECT_EQ(core::deviceRow(0)->connectionKind, core::kConnectionWifi);
    EXPECT_STREQ(core::deviceRow(1)->serial, "USB00000SERIAL");
    EXPECT_EQ(core::deviceRow(1)->connectionKind, core::kConnectionUsb);
    EXPECT_EQ(core::state().connectAndroidCount, 2);
    EXPECT_EQ(wifiCalls_.load(), 1);
}

TEST_F(PairingE2e, FloodsGarbageEndlessAndTricklingClientsLeaveTheServerServingAndBounded) {
    const int64_t residentBefore = ztest::residentBytes() / 1024;
    const int descriptorsBefore = ztest::openDescriptors();

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
        EXPECT_TRUE(ztest::waitFor([] { return wifiCalls_.load() == 1; }, std::chrono::seconds(20)));
        EXPECT_STREQ(core::deviceRow(0)->serial, "WIFIABUSE0127.0.0.3");
        EXPECT_EQ(core::deviceRow(0)->connectionKind, core::kConnectionWifi);
        trickling = false;
        trickle.join();
        link::closeChannel(0); // the channel to the phone, before the phone goes
    }

    // Connections taken while every slot was busy may stay open, but only up to their bound.
    const int descriptorsAfter = ztest::openDescriptors();
    EXPECT_LE(descriptorsAfter, descriptorsBefore + static_cast<int>(pairing::kPairingUnservedLimit) + 8);
    const int64_t residentAfter = ztest::residentBytes() / 1024;
    ASSERT_GT(residentBefore, 0);
    EXPECT_LT(residentAfter - residentBefore, 24 * 1024)
        << residentBefore << " KiB before, " << residentAfter;
}
