// Shared by the link tests: a fixture starting from a fresh library, and the scripted companion.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "library_test.h"
#include "link/command_channel.h"
#include "link/test_seams.h"
#include "peer_connection.h"
#include "zentrolink.h"

namespace linktest {

class LinkTest : public ztest::LibraryTest {
protected:
    // Device index 0 is a USB row; its channel connects to the local port base.
    void usbIndexZeroReaches(uint16_t port) {
        zentro::link::closeChannel(0);
        timings_.usbLocalPortBase = port;
        zentro::link::setLinkTimingsForTests(timings_);
    }
    // A loopback port nobody listens on now, for a server the test starts there.
    static uint16_t freePort() {
        net::socketLibraryStart();
        net::SocketHandle probe = net::tcpListen("127.0.0.1", 0, 1);
        const uint16_t port = net::tcpLocalPort(probe);
        net::tcpClose(probe);
        net::socketLibraryRelease();
        return port;
    }

    // The WiFi connect callback set as a host sets it, counting from nothing.
    static void listenForWifi() {
        wifiCalls_ = 0;
        wifiValue_ = -1;
        Zentro_SetWiFiConnectCallBack(noteWifi);
    }
    static void ZENTRO_CALL noteWifi(int32_t value) {
        wifiThread_ = std::this_thread::get_id();
        wifiValue_ = value;
        wifiCalls_.fetch_add(1);
    }

    zentro::link::LinkTimings timings_;
    static inline std::atomic<int> wifiCalls_{0}, wifiValue_{-1};
    static inline std::thread::id wifiThread_; // of the last call
};

} // namespace linktest
