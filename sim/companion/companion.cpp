#include "companion/companion.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "companion/codec.h"
#include "companion/wire.h"

namespace zsim {

namespace companion {

namespace {

// How often a waiting connection looks whether the app was stopped.
constexpr int kPollMs = 200;
constexpr int kConnectTimeoutMs = 5000;

struct Entry {
    std::weak_ptr<Device> device;
    const Device* raw = nullptr;
    std::shared_ptr<CompanionState> state;
    std::multiset<int> wifiPorts; // ports the app listens on besides the two command ports
};

std::mutex registryMutex;
std::vector<Entry> registry;

Entry& entryOf(const std::shared_ptr<Device>& device) {
    // Entries of devices that are gone are dropped, so a new device at the same address
    // never inherits an old data set.
    std::erase_if(registry, [](const Entry& e) { return e.device.expired(); });
    for (Entry& e : registry)
        if (e.raw == device.get()) return e;
    registry.push_back(Entry{device, device.get(), std::make_shared<CompanionState>(*device), {}});
    return registry.back();
}

bool listensOn(const std::shared_ptr<Device>& device, int port) {
    if (port == kCommandPortA || port == kCommandPortB) return true;
    std::lock_guard<std::mutex> lock(registryMutex);
    return entryOf(device).wifiPorts.count(port) > 0;
}

void sleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool sendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Waits for input while the app runs: 1 readable, 0 app stopped, -1 error.
int waitReadable(Device& device, int fd) {
    while (true) {
        if (!device.companionRunning.load()) return 0;
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, kPollMs);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r > 0) return 1;
    }
}

// Reads and drops whatever the peer sends until it leaves or the app stops.
void idle(Device& device, int fd) {
    char sink[4096];
    while (waitReadable(device, fd) == 1) {
        const ssize_t n = ::recv(fd, sink, sizeof sink, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
    }
}

bool parseIpv4(const std::string& text, in_addr& out) {
    return ::inet_pton(AF_INET, text.c_str(), &out) == 1;
}

int connectWithTimeout(int fd, const sockaddr_in& to) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int r = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (r < 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        r = ::poll(&p, 1, kConnectTimeoutMs);
        int error = 0;
        socklen_t len = sizeof error;
        if (r == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0)
            r = 0;
        else
            r = -1;
    }
    ::fcntl(fd, F_SETFL, flags);
    return r;
}

// Accepts the PC's connections on the WiFi port until the app stops or the phone is gone.
void wifiListener(std::weak_ptr<Device> weak, int listenFd, int registerFd, int port) {
    while (true) {
        auto device = weak.lock();
        if (!device || !device->companionRunning.load()) break;
        pollfd p[2] = {{listenFd, POLLIN, 0}, {registerFd, POLLIN, 0}};
        const int r = ::poll(p, registerFd >= 0 ? 2 : 1, kPollMs);
        if (r < 0 && errno != EINTR) break;
        if (r <= 0) continue;
        if (p[0].revents & POLLIN) {
            const int fd = ::accept(listenFd, nullptr, nullptr);
            const int one = 1; // replies go out as written, as over the USB link
            if (fd >= 0) ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            if (fd >= 0) std::thread([device, port, fd] { serveDevicePort(device, port, fd); }).detach();
        }
        if (registerFd >= 0 && (p[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char sink[256];
            if (::recv(registerFd, sink, sizeof sink, 0) <= 0) { // the PC let go of the pairing link
                ::close(registerFd);
                registerFd = -1;
            }
        }
    }
    ::close(listenFd);
    if (registerFd >= 0) ::close(registerFd);
    if (auto device = weak.lock()) {
        std::lock_guard<std::mutex> lock(registryMutex);
        auto& ports = entryOf(device).wifiPorts;
        if (auto it = ports.find(port); it != ports.end()) ports.erase(it);
    }
}

} // namespace

std::shared_ptr<CompanionState> stateOf(const std::shared_ptr<Device>& device) {
    std::lock_guard<std::mutex> lock(registryMutex);
    return entryOf(device).state;
}

void serveConnection(Device& device, CompanionState& state, int fd) {
    RequestReader reader;
    std::vector<char> buffer(64 * 1024);
    while (waitReadable(device, fd) == 1) {
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        reader.feed(buffer.data(), static_cast<size_t>(n));
        while (auto request = reader.next()) {
            std::string entry = "companion:" + request->text;
            if (!request->payload.empty()) entry += " payload=" + std::to_string(request->payload.size());
            device.log.add(std::move(entry));
            if (!device.companionRunning.load()) return;

            const CompanionFault fault = device.takeCompanionFault(request->name);
            const ReplyPlan plan = planReply(state.handle(*request), fault);
            sleepMs(plan.delayMs);
            if (!device.companionRunning.load()) return; // stopped while it was still working
            for (size_t i = 0; i < plan.writes.size(); ++i) {
                if (i > 0) sleepMs(plan.pauseMs);
                if (!sendAll(fd, plan.writes[i])) return;
            }
            if (plan.after == ReplyPlan::After::Close) return;
            if (plan.after == ReplyPlan::After::Idle) {
                idle(device, fd);
                return;
            }
        }
        if (reader.error() != RequestReader::Error::None) return; // framing lost: drop the peer
    }
}

std::optional<PairingTarget> parsePairingText(std::string_view text) {
    constexpr std::string_view prefix = "PC_SERVERIP:";
    if (text.substr(0, prefix.size()) != prefix) return std::nullopt;
    text.remove_prefix(prefix.size());
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    const auto port = parseDecimal(text.substr(colon + 1));
    if (!port || *port < 1 || *port > 65535) return std::nullopt;
    in_addr ignored{};
    PairingTarget target{std::string(text.substr(0, colon)), static_cast<int>(*port)};
    if (!parseIpv4(target.address, ignored)) return std::nullopt;
    return target;
}

std::string registerMessage(const std::string& serial, int port) {
    // Field 1 is free text; keep the separators out of it and stay within a field's 127 bytes.
    std::string name;
    for (char c : serial.substr(0, 127)) name.push_back(c == ':' || c == ';' ? '_' : c);
    return "CMD_REGISTER:" + name + ":" + std::to_string(port) + ";";
}

} // namespace companion

void serveDevicePort(const std::shared_ptr<Device>& device, int devicePort, int fd) {
    if (fd < 0) return;
    if (device && device->companionRunning.load() && companion::listensOn(device, devicePort)) {
        auto state = companion::stateOf(device);
        companion::serveConnection(*device, *state, fd);
    }
    ::close(fd);
}

int startWifiJoin(const std::shared_ptr<Device>& device, const std::string& pcAddress, int pcPort) {
    using namespace companion;
    if (!device || device->companionNeverStarts.load() || pcPort < 1 || pcPort > 65535) return -1;
    in_addr own{}, pc{};
    // The phone's own address stays on loopback: the virtual phone never listens elsewhere.
    if (!parseIpv4(device->wifiAddress(), own) || (ntohl(own.s_addr) >> 24) != 127) return -1;
    if (!parseIpv4(pcAddress, pc)) return -1;

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = own;
    const int listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd < 0) return -1;
    socklen_t len = sizeof local;
    if (::bind(listenFd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(listenFd, 8) != 0 ||
        ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&local), &len) != 0) {
        ::close(listenFd);
        return -1;
    }
    const int port = ntohs(local.sin_port);

    // The registration goes out from the phone's address, which the PC then connects back to.
    const int registerFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr = own;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = pc;
    to.sin_port = htons(static_cast<uint16_t>(pcPort));
    if (registerFd < 0 || ::bind(registerFd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        connectWithTimeout(registerFd, to) != 0) {
        if (registerFd >= 0) ::close(registerFd);
        ::close(listenFd);
        return -1;
    }
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        entryOf(device).wifiPorts.insert(port);
    }
    // Scanning the code means the app is up; the PC connects as soon as it reads the message.
    device->companionRunning = true;
    if (!sendAll(registerFd, registerMessage(device->serial, port))) {
        ::close(registerFd);
        ::close(listenFd);
        std::lock_guard<std::mutex> lock(registryMutex);
        auto& ports = entryOf(device).wifiPorts;
        ports.erase(ports.find(port));
        return -1;
    }
    std::thread(wifiListener, std::weak_ptr<Device>(device), listenFd, registerFd, port).detach();
    return 0;
}

} // namespace zsim
