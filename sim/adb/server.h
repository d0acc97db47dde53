// The adb server the real adb client talks to (through ANDROID_ADB_SERVER_PORT): the
// smart-socket protocol of 4-hex-digit framed requests answered OKAY or FAIL, the host
// services (version, devices, kill, features, transport switches, forwards) and the device
// services (shell:, exec:, sync:) of the phones in a DeviceList.
//
// Every request goes verbatim to log(). Requests aimed at one phone also go to that phone's
// Device::log: its services as sent ("shell:getprop ro.product.model"), its host services
// without the routing prefix ("features", "forward:tcp:30148;tcp:20148"), and each sync
// request as "sync:<ID> <argument>" ("sync:SEND /sdcard/x,33188").
//
// A forward binds 127.0.0.1:<local> and hands every connection it accepts to
// zsim::serveDevicePort(device, <remote>, fd) on a thread of its own.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "adb/device_list.h"
#include "adb/host_request.h"
#include "adb/tcp_server.h"
#include "device.h"

namespace zsim::adb {

class AdbServer {
public:
    // `version`: what it answers to a version request; 0 for that of the client it serves.
    explicit AdbServer(std::shared_ptr<DeviceList> devices, int version = 0);
    ~AdbServer();
    AdbServer(const AdbServer&) = delete;
    AdbServer& operator=(const AdbServer&) = delete;

    // Listens on 127.0.0.1:port (0: ephemeral). The bound port, or -1 with `error` set.
    int start(int port, std::string* error = nullptr);
    // Closes every connection and forward and waits for the server's own threads.
    void stop();
    int port() const { return tcp_.port(); }

    RequestLog& log() { return log_; }

    // "<serial> tcp:<local> tcp:<remote>" per forward, by local port.
    std::vector<std::string> forwards() const;
    // The phone is gone: its forwards end, and so do the connections they carry, as a cable
    // pulled out ends them.
    void removeForwardsOf(const std::string& serial);
    void removeAllForwards();

private:
    struct Forward;
    struct LiveLinks;
    struct Resolved {
        std::shared_ptr<Device> device;
        uint64_t transportId = 0;
        std::string error;
    };

    void serveConnection(int fd);
    // False when the connection is done (answered, failed or closed).
    bool serveHost(int fd, const std::string& request, Resolved& selected);
    void serveDeviceService(int fd, const std::shared_ptr<Device>& device, const std::string& request);
    void serveShell(int fd, Device& device, const std::string& command);
    bool serveForward(int fd, const std::shared_ptr<Device>& device, const std::string& service);
    bool removeForward(int localPort);
    bool removeForwardLocked(int localPort); // with forwardOpsMutex_ held
    Resolved resolve(Target target, const std::string& serial, uint64_t id, bool anyState) const;

    std::shared_ptr<DeviceList> devices_;
    int version_;
    RequestLog log_;
    TcpServer tcp_;

    std::mutex forwardOpsMutex_; // one forward change at a time, bind included
    mutable std::mutex forwardsMutex_;
    std::map<int, std::unique_ptr<Forward>> forwards_;
    std::shared_ptr<LiveLinks> liveLinks_; // connections that forwards carry, by serial
};

// The FAIL text the real server gives for a device in `state` that cannot serve requests;
// "" for a state that can ("device").
std::string stateRefusal(const std::string& state);

} // namespace zsim::adb
