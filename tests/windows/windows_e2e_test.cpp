// The library in a Windows process against the virtual phone (detection, preparation and a bulk
// refresh are dll_host's): the Win32 process runner starts adb.exe (the test client beside this
// program) with its output redirected into a file, the Winsock channel carries the companion
// traffic, files move both ways, a phone pairs over WiFi and the hidden window hears device
// changes. The phone runs outside wine; the CTest
// fixture that starts it leaves its ready line in the file named by ZENTRO_PHONE_READY.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/state.h"
#include "link/test_seams.h"
#include "pairing/pairing_server.h"
#include "pairing/test_seams.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/socket.h"
#include "platform/test_seams.h"
#include "platform/usb.h"
#include "test_support.h"
#include "zentrolink.h"

namespace core = zentro::core;
namespace link = zentro::link;
namespace pairing = zentro::pairing;
namespace platform = zentro::platform;

namespace {

const char* const kPhone = "ZX1G22ABCD000000";

struct Ports {
    int adb = 0;
    int control = 0;
};

Ports phonePorts() {
    Ports ports;
    const char* path = std::getenv("ZENTRO_PHONE_READY");
    if (path == nullptr) return ports;
    const std::string line = ztest::readFile(path);
    const size_t adb = line.find("adb-port=");
    const size_t control = line.find("control-port=");
    if (adb != std::string::npos) ports.adb = std::atoi(line.c_str() + adb + 9);
    if (control != std::string::npos) ports.control = std::atoi(line.c_str() + control + 13);
    return ports;
}

// One line to the phone's control port; its whole reply.
std::string control(int port, const std::string& line) {
    platform::ClientOptions options;
    options.receiveTimeoutMs = 20000;
    platform::SocketHandle socket = platform::tcpConnect("127.0.0.1", static_cast<uint16_t>(port), options);
    if (socket == 0) return "error no control connection";
    const std::string request = line + "\n";
    platform::tcpSendPair(socket, request.data(), request.size(), nullptr, 0);
    std::string reply;
    char buffer[4096];
    const bool listing = line.rfind("log", 0) == 0 || line == "devices" || line == "forwards";
    for (;;) {
        const int got = platform::tcpReceive(socket, buffer, sizeof buffer);
        if (got <= 0) break;
        reply.append(buffer, static_cast<size_t>(got));
        if (listing ? (reply == "end\n" || reply.find("\nend\n") != std::string::npos)
                    : reply.find('\n') != std::string::npos) {
            break;
        }
    }
    platform::tcpClose(socket);
    return reply;
}

// Generous: wine under a loaded machine is slow, and no test here measures time.
std::atomic<int> g_usbCalls{0};
std::atomic<int> g_lastUsb{0};
std::atomic<int> g_wifiCalls{0};
void ZENTRO_CALL onUsb(int32_t value) {
    g_lastUsb = value;
    ++g_usbCalls;
}
void ZENTRO_CALL onWifi(int32_t) { ++g_wifiCalls; }

class WindowsE2e : public ::testing::Test {
protected:
    void SetUp() override {
        ports_ = phonePorts();
        ASSERT_GT(ports_.adb, 0) << "no phone: ZENTRO_PHONE_READY must name the fixture's ready line";
        ztest::resetLibraryState();
        ASSERT_TRUE(platform::socketLibraryStart()); // for the control connections
        platform::setEnv("ANDROID_ADB_SERVER_PORT", std::to_string(ports_.adb).c_str());
        platform::setTempPathForTests(temp_.path() + platform::kPathSeparator);
        ASSERT_EQ(control(ports_.control, "clearlog " + std::string(kPhone)), "ok\n");
    }
    void TearDown() override {
        ztest::resetLibraryState();
        platform::socketLibraryRelease();
    }

    std::vector<std::string> requests() {
        std::vector<std::string> out;
        const std::string text = control(ports_.control, "log " + std::string(kPhone));
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            const std::string entry = text.substr(start, end - start);
            if (entry != "end") out.push_back(entry);
        }
        return out;
    }
    bool asked(const std::string& prefix) {
        for (const std::string& entry : requests()) {
            if (entry.rfind(prefix, 0) == 0) return true;
        }
        return false;
    }

    Ports ports_;
    ztest::ScratchFolder temp_;
};

} // namespace

TEST_F(WindowsE2e, MediaDownloadsOverAdbAndTheChannelAndUploadsOverAdb) {
    ASSERT_EQ(Zentro_CheckDeviceDetected(0), 0);
    ASSERT_EQ(Zentro_ReadyTodoing(0), 0);
    ASSERT_GT(Zentro_FlushDevicesPhotos(0), 0);
    PhotoInfo photo{};
    ASSERT_EQ(Zentro_GetPhotoInfo(&photo, 0, 0), 0);
    const int64_t size = ztest::mediaSize(photo);
    ASSERT_GT(size, 0);

    const std::string viaAdb = temp_.file("photo.usb");
    const std::string viaChannel = temp_.file("photo.channel");
    ASSERT_EQ(Zentro_ExportPhotofromDevice(photo.id, viaAdb.c_str(), size, 0), 0);
    ASSERT_EQ(Zentro_ExportPhotofromDevice2(photo.id, viaChannel.c_str(), size, 0), 0);
    const std::string bytes = ztest::readFile(viaAdb);
    EXPECT_EQ(static_cast<int64_t>(bytes.size()), size);
    EXPECT_TRUE(bytes == ztest::readFile(viaChannel)); // not EQ: a megabyte of bytes in a failure
    EXPECT_TRUE(asked("sync:RECV "));

    // Back up under a new name: a push through adb.exe's sync SEND.
    const std::string upload = temp_.file("upload.jpg");
    ztest::writeFile(upload, bytes);
    ASSERT_EQ(control(ports_.control, "clearlog " + std::string(kPhone)), "ok\n");
    EXPECT_EQ(Zentro_addPhoto(upload.c_str(), "windows-upload.jpg", 0), 0);
    EXPECT_TRUE(asked("sync:SEND "));
}

TEST_F(WindowsE2e, PhoneThatScansTheCodeJoinsOverWifi) {
    g_wifiCalls = 0;
    Zentro_SetWiFiConnectCallBack(onWifi);
    // Loopback only: the server would otherwise take the host name's first address, which wine
    // (unlike Windows with a hosts entry) resolves to the machine's network address.
    pairing::setPairingOptionsForTests({"127.0.0.1", pairing::kPairingPort});
    ASSERT_EQ(Zentro_GetPCQRGeneratorImage(temp_.file("pair.bmp").c_str(), 0), 0);
    const std::string image = ztest::readFile(temp_.file("pair.bmp"));
    ASSERT_GT(image.size(), 54u);
    EXPECT_EQ(image.substr(0, 2), "BM");

    const pairing::TCPServer* server = pairing::pairingServerForTests();
    ASSERT_NE(server, nullptr);
    const std::string target = "127.0.0.1:" + std::to_string(server->port());
    ASSERT_EQ(control(ports_.control, "wifi-join ZX1G22ABCD000001 " + target), "ok\n");
    ASSERT_TRUE(ztest::waitFor([] { return g_wifiCalls.load() == 1; }, std::chrono::seconds(60)));
    EXPECT_EQ(core::deviceRow(0)->connectionKind, core::kConnectionWifi);
    EXPECT_EQ(std::string(core::deviceRow(0)->serial).rfind("ZX1G22ABCD000001", 0), 0u);
}

TEST_F(WindowsE2e, HiddenWindowTurnsDeviceBroadcastsIntoUsbCallbacks) {
    g_usbCalls = 0;
    Zentro_SetUSBCallBack(onUsb);
    ASSERT_EQ(Zentro_Init(), 0);
    // Under wine without a display the window exists through the null graphics driver, but no
    // system broadcast ever reaches it: the test sends the ones Windows would.
    // One window for the whole process, whatever an earlier test started.
    ASSERT_TRUE(
        ztest::waitFor([] { return platform::deviceChangeSourceCount() == 1; }, std::chrono::seconds(60)));
    static const char add[] =
        "add@/devices/pci0000:00/usb1/1-1\0ACTION=add\0SUBSYSTEM=usb\0DEVTYPE=usb_device\0";
    ASSERT_TRUE(platform::injectUeventForTests(std::string(add, sizeof add - 1)));
    EXPECT_EQ(g_usbCalls.load(), 1);
    EXPECT_EQ(g_lastUsb.load(), ZENTRO_USB_ARRIVAL);
    static const char remove[] =
        "remove@/devices/pci0000:00/usb1/1-1\0ACTION=remove\0SUBSYSTEM=usb\0DEVTYPE=usb_device\0";
    ASSERT_TRUE(platform::injectUeventForTests(std::string(remove, sizeof remove - 1)));
    EXPECT_EQ(g_usbCalls.load(), 2);
    EXPECT_EQ(g_lastUsb.load(), ZENTRO_USB_REMOVAL);

    // Shut-down ends adb.exe through taskkill (wine's own here); the watcher stays.
    EXPECT_EQ(Zentro_UnInit(), 0);
    EXPECT_EQ(platform::deviceChangeSourceCount(), 1);
}
