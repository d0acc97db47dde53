#include "adb/server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <mutex>

#include "adb/framing.h"
#include "adb/io.h"
#include "adb/shell.h"
#include "adb/sync.h"

namespace zsim::adb {

struct AdbServer::Forward {
    std::string serial;
    int localPort = 0;
    int remotePort = 0;
    int listenFd = -1;
    std::thread acceptThread;
};

struct AdbServer::LiveLinks {
    std::mutex mutex;
    std::multimap<std::string, int> bySerial; // the watch copies of forwarded connections

    void add(const std::string& serial, int fd) {
        std::lock_guard lock(mutex);
        bySerial.emplace(serial, fd);
    }
    void remove(const std::string& serial, int fd) {
        std::lock_guard lock(mutex);
        auto [from, to] = bySerial.equal_range(serial);
        for (auto it = from; it != to; ++it) {
            if (it->second == fd) {
                bySerial.erase(it);
                return;
            }
        }
    }
    // Both directions end; each connection's own thread then closes it.
    void cut(const std::string& serial) {
        std::lock_guard lock(mutex);
        auto [from, to] = bySerial.equal_range(serial);
        for (auto it = from; it != to; ++it) ::shutdown(it->second, SHUT_RDWR);
    }
};

namespace {

constexpr int kServerVersion = 0x29;

bool isOnline(const std::string& state) {
    return state == "device" || state == "recovery" || state == "sideload" || state == "rescue";
}

} // namespace

std::string stateRefusal(const std::string& state) {
    if (isOnline(state)) return {};
    if (state == "unauthorized")
        return "device unauthorized.\n"
               "This adb server's $ADB_VENDOR_KEYS is not set\n"
               "Try 'adb kill-server' if that seems wrong.\n"
               "Otherwise check for a confirmation dialog on your device.";
    if (state == "authorizing") return "device still authorizing";
    if (state == "connecting") return "device still connecting";
    return "device offline";
}

AdbServer::AdbServer(std::shared_ptr<DeviceList> devices, int version)
    : devices_(std::move(devices))
    , version_(version != 0 ? version : kServerVersion)
    , liveLinks_(std::make_shared<LiveLinks>()) {}

AdbServer::~AdbServer() { stop(); }

int AdbServer::start(int port, std::string* error) {
    return tcp_.start(
        port,
        [this](int fd) {
            serveConnection(fd);
            finishConnection(fd);
        },
        error);
}

void AdbServer::stop() {
    tcp_.stop();
    // After the connection threads: none of them can add a forward any more.
    removeAllForwards();
}

void AdbServer::serveConnection(int fd) {
    Resolved selected;
    for (;;) {
        char lengthText[4];
        if (!readExact(fd, lengthText, sizeof lengthText)) return;
        auto length = parseHexLength(std::string_view(lengthText, 4));
        if (!length) {
            writeAll(fd, fail("bad request length"));
            return;
        }
        std::string request(*length, '\0');
        if (*length > 0 && !readExact(fd, request.data(), *length)) return;
        log_.add(request);

        if (parseHostRequest(request)) {
            if (!serveHost(fd, request, selected)) return;
            continue;
        }
        // A device service without a transport switch goes to the only device there is.
        if (!selected.device) {
            selected = resolve(Target::Any, {}, 0, false);
            if (!selected.device) {
                writeAll(fd, fail(selected.error));
                return;
            }
        } else if (std::string refusal = stateRefusal(selected.device->state()); !refusal.empty()) {
            writeAll(fd, fail(refusal));
            return;
        }
        serveDeviceService(fd, selected.device, request);
        return;
    }
}

AdbServer::Resolved AdbServer::resolve(Target target, const std::string& serial, uint64_t id,
                                       bool anyState) const {
    Resolved out;
    const auto visible = devices_->visible();
    std::vector<DeviceList::Entry> matches;
    for (const auto& e : visible) {
        if ((target == Target::Serial && e.device->serial == serial) ||
            (target == Target::TransportId && e.transportId == id) || target == Target::Any ||
            target == Target::Usb)
            matches.push_back(e);
    }
    if (matches.empty()) {
        switch (target) {
        case Target::Serial: out.error = "device '" + serial + "' not found"; break;
        case Target::TransportId:
            out.error = "no device with transport id '" + std::to_string(id) + "'";
            break;
        case Target::Usb: out.error = "no devices found"; break;
        case Target::Local: out.error = "no emulators found"; break;
        default: out.error = "no devices/emulators found"; break;
        }
        return out;
    }
    if (matches.size() > 1) {
        out.error = target == Target::Usb ? "more than one device" : "more than one device/emulator";
        return out;
    }
    if (!anyState) {
        out.error = stateRefusal(matches[0].device->state());
        if (!out.error.empty()) return out;
    }
    out.device = matches[0].device;
    out.transportId = matches[0].transportId;
    return out;
}

bool AdbServer::serveHost(int fd, const std::string& request, Resolved& selected) {
    const HostRequest host = *parseHostRequest(request);
    const std::string& service = host.service;

    if (host.target == Target::None) {
        if (auto sw = parseTransportSwitch(service)) {
            Resolved r = resolve(sw->target, sw->serial, sw->transportId, false);
            if (!r.device) {
                writeAll(fd, fail(r.error));
                return false;
            }
            selected = r;
            std::string reply = "OKAY";
            if (sw->replyId) {
                for (int i = 0; i < 8; ++i)
                    reply.push_back(static_cast<char>((r.transportId >> (8 * i)) & 0xff));
            }
            return writeAll(fd, reply);
        }
        if (service == "version") {
            char hex[5];
            std::snprintf(hex, sizeof hex, "%04x", version_ & 0xffff);
            writeAll(fd, okayWith(hex));
            return false;
        }
        if (service == "devices" || service == "devices-l") {
            std::string text;
            for (const auto& e : devices_->visible()) {
                const std::string state = e.device->state();
                if (service == "devices") {
                    text += e.device->serial + "\t" + state + "\n";
                    continue;
                }
                char padded[64];
                std::snprintf(padded, sizeof padded, "%-22s", e.device->serial.c_str());
                text += std::string(padded) + " " + state + " usb:1-" + std::to_string(e.transportId);
                if (state == "device") {
                    std::string model = e.device->property("ro.product.model");
                    for (char& c : model)
                        if (c == ' ') c = '_';
                    text += " product:" + e.device->property("ro.product.name") + " model:" + model +
                            " device:" + e.device->property("ro.product.device");
                }
                text += " transport_id:" + std::to_string(e.transportId) + "\n";
            }
            writeAll(fd, okayWith(text));
            return false;
        }
        if (service == "kill") {
            // The client waits for the close after OKAY; this server stays up for the next
            // client, but its forwards end as a real restart would end them.
            writeAll(fd, "OKAY");
            removeAllForwards();
            return false;
        }
        if (service == "killforward-all") {
            removeAllForwards();
            writeAll(fd, "OKAYOKAY");
            return false;
        }
        if (service == "list-forward") {
            // Lines joined, no line end after the last: the client adds that one.
            std::string text;
            for (const auto& line : forwards()) text += (text.empty() ? "" : "\n") + line;
            writeAll(fd, okayWith(text));
            return false;
        }
    }

    // The remaining host services act on one device: the one chosen earlier on this
    // connection, or the one the prefix names.
    const bool anyState = service == "get-state" || service == "get-serialno" || service == "get-devpath";
    const bool knownDeviceService = anyState || service == "features" || service.rfind("forward:", 0) == 0 ||
                                    service.rfind("killforward:", 0) == 0;
    if (!knownDeviceService) {
        writeAll(fd, fail("unknown host service"));
        return false;
    }
    Resolved r;
    if (host.target == Target::None && selected.device) {
        r = selected;
        if (!anyState) r.error = stateRefusal(r.device->state());
        if (!r.error.empty()) r.device = nullptr;
    } else {
        r = resolve(host.target == Target::None ? Target::Any : host.target, host.serial, host.transportId,
                    anyState);
    }
    if (!r.device) {
        writeAll(fd, fail(r.error));
        return false;
    }
    Device& device = *r.device;
    device.log.add(service);

    if (service == "features") {
        // No features: the client then uses the plain shell and sync services.
        writeAll(fd, okayWith(""));
    } else if (service == "get-state") {
        writeAll(fd, okayWith(device.state()));
    } else if (service == "get-serialno") {
        writeAll(fd, okayWith(device.serial));
    } else if (service == "get-devpath") {
        writeAll(fd, okayWith("usb:1-" + std::to_string(r.transportId)));
    } else if (service.rfind("killforward:", 0) == 0) {
        auto port = parseTcpEndpoint(service.substr(12));
        if (port && removeForward(*port))
            writeAll(fd, "OKAYOKAY");
        else
            writeAll(fd, fail("listener '" + service.substr(12) + "' not found"));
    } else {
        serveForward(fd, r.device, service);
    }
    return false;
}

bool AdbServer::serveForward(int fd, const std::shared_ptr<Device>& device, const std::string& service) {
    auto request = parseForward(service);
    if (!request) return writeAll(fd, fail("malformed forward '" + service + "'"));
    if (!request->supported)
        return writeAll(fd, fail("cannot bind listener: unsupported endpoint '" + request->local + ";" +
                                 request->remote + "'"));
    if (device->adbDelayMs > 0 && !tcp_.connections()->pause(device->adbDelayMs)) return false;

    std::lock_guard ops(forwardOpsMutex_);
    bool exists;
    {
        std::lock_guard lock(forwardsMutex_);
        exists = request->localPort != 0 && forwards_.count(request->localPort) > 0;
    }
    if (exists) {
        if (request->noRebind) return writeAll(fd, fail("cannot rebind existing socket"));
        removeForwardLocked(request->localPort); // the newer forward of a port wins
    }
    std::string error;
    int listenFd = listenTcp("127.0.0.1", request->localPort, &error);
    if (listenFd < 0) return writeAll(fd, fail("cannot bind listener: " + error));

    auto forward = std::make_unique<Forward>();
    forward->serial = device->serial;
    forward->localPort = localPort(listenFd);
    forward->remotePort = request->remotePort;
    forward->listenFd = listenFd;
    auto connections = tcp_.connections();
    auto devices = devices_;
    const std::string serial = device->serial;
    const int remotePort = request->remotePort;
    auto links = liveLinks_;
    forward->acceptThread = std::thread([connections, devices, links, serial, remotePort, listenFd] {
        for (int conn; (conn = acceptConnection(listenFd, *connections)) >= 0;) {
            // A phone that went away or offline refuses what its forward brings, as adb does.
            auto phone = devices->find(serial);
            if (connections->stopping() || !phone || phone->state() != "device") {
                ::close(conn);
                continue;
            }
            // stop() shuts the socket down through this copy; the connection itself is not
            // waited for, as companion code may take its time to notice the close.
            int watch = ::dup(conn);
            if (watch >= 0 && !connections->track(watch)) {
                ::close(watch);
                ::close(conn);
                continue;
            }
            if (watch >= 0) links->add(serial, watch);
            std::thread([connections, links, serial, phone, remotePort, conn, watch] {
                serveDevicePort(phone, remotePort, conn);
                if (watch >= 0) {
                    links->remove(serial, watch);
                    connections->untrack(watch);
                    ::close(watch);
                }
            }).detach();
        }
    });
    const int bound = forward->localPort;
    {
        std::lock_guard lock(forwardsMutex_);
        forwards_[bound] = std::move(forward);
    }

    std::string reply = "OKAYOKAY";
    if (request->localPort == 0)
        reply += okayWith(std::to_string(bound)).substr(4); // the port it picked, framed
    return writeAll(fd, reply);
}

bool AdbServer::removeForward(int localPort) {
    std::lock_guard ops(forwardOpsMutex_);
    return removeForwardLocked(localPort);
}

bool AdbServer::removeForwardLocked(int localPort) {
    std::unique_ptr<Forward> forward;
    {
        std::lock_guard lock(forwardsMutex_);
        auto it = forwards_.find(localPort);
        if (it == forwards_.end()) return false;
        forward = std::move(it->second);
        forwards_.erase(it);
    }
    ::shutdown(forward->listenFd, SHUT_RDWR);
    if (forward->acceptThread.joinable()) forward->acceptThread.join();
    ::close(forward->listenFd);
    return true;
}

void AdbServer::removeAllForwards() {
    std::lock_guard ops(forwardOpsMutex_);
    std::vector<int> ports;
    {
        std::lock_guard lock(forwardsMutex_);
        for (const auto& [port, f] : forwards_) ports.push_back(port);
    }
    for (int port : ports) removeForwardLocked(port);
}

void AdbServer::removeForwardsOf(const std::string& serial) {
    std::lock_guard ops(forwardOpsMutex_);
    std::vector<int> ports;
    {
        std::lock_guard lock(forwardsMutex_);
        for (const auto& [port, f] : forwards_)
            if (f->serial == serial) ports.push_back(port);
    }
    for (int port : ports) removeForwardLocked(port);
    liveLinks_->cut(serial);
}

std::vector<std::string> AdbServer::forwards() const {
    std::lock_guard lock(forwardsMutex_);
    std::vector<std::string> out;
    for (const auto& [port, f] : forwards_)
        out.push_back(f->serial + " tcp:" + std::to_string(port) + " tcp:" + std::to_string(f->remotePort));
    return out;
}

void AdbServer::serveDeviceService(int fd, const std::shared_ptr<Device>& device,
                                   const std::string& request) {
    device->log.add(request);
    if (device->adbDelayMs > 0 && !tcp_.connections()->pause(device->adbDelayMs)) return;
    if (request.rfind("shell:", 0) == 0) {
        serveShell(fd, *device, request.substr(6));
    } else if (request.rfind("exec:", 0) == 0) {
        serveShell(fd, *device, request.substr(5));
    } else if (request == "sync:") {
        if (writeAll(fd, "OKAY")) serveSync(fd, *device);
    } else {
        // What a phone does with a service it does not offer: it closes the stream.
        writeAll(fd, fail("closed"));
    }
}

void AdbServer::serveShell(int fd, Device& device, const std::string& command) {
    if (!writeAll(fd, "OKAY")) return;
    // A hanging command answers nothing until the server stops, the client goes away or the
    // test lifts the hang (then it runs after all).
    while (device.shellHangs(command)) {
        if (!tcp_.connections()->pause(50) || !peerStillOpen(fd)) return;
    }
    ShellResult result = runShell(device, command);
    writeAll(fd, result.output);
}

} // namespace zsim::adb
