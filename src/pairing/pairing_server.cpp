#include "pairing/pairing_server.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <random>

#include "core/log.h"
#include "core/state.h"
#include "link/command_channel.h"
#include "link/companion_bootstrap.h"
#include "link/device_info_reply.h"
#include "pairing/qr_image.h"
#include "platform/clock.h"
#ifdef ZENTRO_TESTING
#include "pairing/test_seams.h"
#endif

namespace zentro::pairing {
namespace {

constexpr int kListenBacklog = 5;
// The server thread serves every client: a registrant that accepts the connection back and
// never answers may hold it this long for the connect, handshake and device information, and
// as long again for the closing notice (the host's callback runs in between).
constexpr auto kRegistrationTime = std::chrono::milliseconds(2000);
constexpr auto kNoticeTime = std::chrono::milliseconds(1000);
constexpr size_t kReceiveBlock = 4096;
constexpr int kAcceptFailurePauseMs = 100;

std::mutex g_serverMutex;
std::unique_ptr<TCPServer> g_server;
bool g_serverMade = false; // a failed start is not tried again
char g_addressOverride[64] = {};
uint16_t g_firstPort = kPairingPort;

// "<what>: <system error text>" on the standard error stream, as perror would.
void printSocketError(const char* what) {
    char text[256] = {};
    platform::lastSocketError(text, sizeof text);
    std::fprintf(stderr, "%s: %s\n", what, text);
}

} // namespace

TCPServer::TCPServer() = default;

TCPServer::~TCPServer() { stop(); }

int TCPServer::start(const char* addressOrNull, uint16_t firstPort) {
    if (!platform::socketLibraryStart()) return -1;
    libraryStarted_ = true;
    port_ = firstPort;
    if (addressOrNull != nullptr) {
        core::copyText(serverAddress_, sizeof serverAddress_, addressOrNull);
    } else {
        platform::hostIpv4Address(serverAddress_, sizeof serverAddress_);
    }

    listener_ = platform::tcpSocket();
    if (listener_ == 0) {
        printSocketError("socket");
        return -1;
    }
    // Another program may hold the port: move up by a random step, a bounded number of times.
    bool bound = platform::tcpBind(listener_, serverAddress_, port_);
    for (int attempt = 0; !bound && attempt < kPairingBindRetries; ++attempt) {
        std::minstd_rand random(
            static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count() + attempt));
        port_ = static_cast<uint16_t>(port_ + random() % 500 + attempt + 1);
        bound = platform::tcpBind(listener_, serverAddress_, port_);
    }
    if (!bound) {
        printSocketError("bind");
        return -1;
    }
    if (!platform::tcpStartListening(listener_, kListenBacklog)) {
        printSocketError("listen");
        return -1;
    }
    for (int slot = 0; slot < kPairingClientSlots; ++slot) clients_[slot] = 0;
    if (!platform::runHoldingLibrary([](void* self) { static_cast<TCPServer*>(self)->run(); }, this,
                                     &thread_)) {
        std::fprintf(stderr, "thread: could not be started\n");
        return -1;
    }
    return 0;
}

void TCPServer::run() {
    platform::SocketHandle sockets[1 + kPairingClientSlots];
    bool readable[1 + kPairingClientSlots];
    int slotOf[1 + kPairingClientSlots];
    while (!stopping_.load()) {
        size_t count = 0;
        sockets[count++] = listener_;
        for (int slot = 0; slot < kPairingClientSlots; ++slot) {
            if (clients_[slot] == 0) continue;
            slotOf[count] = slot;
            sockets[count++] = clients_[slot];
        }
        if (platform::tcpWaitAnyReadable(sockets, readable, count, -1) < 0) {
            // No later registration is possible; the listening socket stays open.
            printSocketError("select");
            for (int slot = 0; slot < kPairingClientSlots; ++slot) closeClient(slot);
            return;
        }
        if (stopping_.load()) return;
        for (size_t i = 1; i < count; ++i) {
            if (!readable[i]) continue;
            const int slot = slotOf[i];
            // Bytes are handled one by one as they arrive, but taken from the socket in blocks:
            // a client sending megabytes without a ";" costs a few thousand reads, not millions.
            char bytes[kReceiveBlock];
            const int got = platform::tcpReceive(clients_[slot], bytes, sizeof bytes);
            if (got <= 0) {
                core::log(0, "client[%d] = %d close\n", slot, static_cast<int>(clients_[slot]));
                closeClient(slot);
                continue;
            }
            for (int at = 0; at < got && clients_[slot] != 0; ++at) handleByte(slot, bytes[at]);
        }
        if (readable[0]) acceptClient();
    }
}

void TCPServer::acceptClient() {
    char peer[64] = {};
    platform::SocketHandle client = platform::tcpAcceptPeer(listener_, peer, sizeof peer);
    if (client == 0) {
        printSocketError("accept");
        // Out of descriptors the connection stays queued and the listener readable: pause so
        // the thread does not spin until one is freed.
        platform::sleepMs(kAcceptFailurePauseMs);
        return;
    }
    accepted_.fetch_add(1);
    for (int slot = 0; slot < kPairingClientSlots; ++slot) {
        if (clients_[slot] != 0) continue;
        clients_[slot] = client;
        core::copyText(clientAddresses_[slot], sizeof clientAddresses_[slot], peer);
        return;
    }
    // Every slot is taken: the connection stays open but is never read, up to a bound.
    if (unserved_.size() >= kPairingUnservedLimit) {
        core::log(0, "pairing client from %s refused, %d waiting already\n", peer,
                  static_cast<int>(unserved_.size()));
        platform::tcpClose(client);
        return;
    }
    unserved_.push_back(client);
}

void TCPServer::closeClient(int slot) {
    if (clients_[slot] == 0) return;
    platform::tcpClose(clients_[slot]);
    clients_[slot] = 0;
    buffers_[slot].reset();
}

void TCPServer::handleByte(int slot, char byte) {
    if (!buffers_[slot]) {
        buffers_[slot].reset(new (std::nothrow) PairingMessage());
        if (!buffers_[slot]) return;
    }
    switch (buffers_[slot]->add(byte)) {
    case PairingMessage::Step::Partial: return;
    case PairingMessage::Step::Dropped:
        core::log(0, "pairing message of client[%d] from %s longer than 511 bytes, dropped\n", slot,
                  clientAddresses_[slot]);
        return;
    case PairingMessage::Step::Complete:
        core::copyText(peerAddress_, sizeof peerAddress_, clientAddresses_[slot]);
        handleMessage(buffers_[slot]->text());
        buffers_[slot]->clear();
        return;
    }
}

void TCPServer::handleMessage(const char* text) {
    const PairingFields fields = splitPairingMessage(text);
    int32_t port = 0;
    if (!registrationPort(fields, port)) return;

    const int32_t deviceIndex = link::channelInUse() == 1 ? 1 : 0;
    // Anyone on the network can send a registration: it must not take over a phone attached by
    // cable whose channel is in use, or what the host sends that phone would go to the sender.
    const core::DeviceEntry* row = core::deviceRow(deviceIndex);
    if (row->connectionKind != core::kConnectionWifi && link::channelOpen(deviceIndex)) {
        core::log(0, "WiFi registration from %s refused: index %d is in use\n", peerAddress_,
                  static_cast<int>(deviceIndex));
        peerAddress_[0] = '\0';
        return;
    }
    link::closeChannel(deviceIndex);
    // A channel that cannot reach the phone must not fall back to the USB route of the row it
    // is about to take: stop here, as a failed handshake does. A sender that is not a phone
    // keeps no connection: the host's next command on that index would go to it.
    const link::Deadline deadline = std::chrono::steady_clock::now() + kRegistrationTime;
    if (link::ensureChannelBy(deviceIndex, peerAddress_, port, deadline) != 0 ||
        link::checkIsConnectToOursAndroidServices(deviceIndex) != 0 ||
        registerWifiPhone(peerAddress_, port, deviceIndex) != 0) {
        link::closeChannel(deviceIndex);
    }
    link::setChannelDeadline(deviceIndex, link::kNoDeadline);
    peerAddress_[0] = '\0';
}

void TCPServer::stop() {
    if (thread_.handle != 0) {
        stopping_.store(true);
        // Wake the wait with a connection of our own; the thread sees the flag and ends.
        platform::ClientOptions quick;
        quick.sendTimeoutMs = 1000;
        platform::SocketHandle wake = platform::tcpConnect(serverAddress_, port_, quick);
        platform::joinThread(thread_);
        platform::tcpClose(wake);
    }
    for (int slot = 0; slot < kPairingClientSlots; ++slot) closeClient(slot);
    for (platform::SocketHandle client : unserved_) platform::tcpClose(client);
    unserved_.clear();
    platform::tcpClose(listener_);
    listener_ = 0;
    if (libraryStarted_) platform::socketLibraryRelease();
    libraryStarted_ = false;
}

TCPServer* startPairingServer() {
    std::lock_guard<std::mutex> guard(g_serverMutex);
    if (g_serverMade) return g_server.get();
    g_server.reset(new (std::nothrow) TCPServer());
    if (!g_server) return nullptr;
    g_serverMade = true;
    if (g_server->start(g_addressOverride[0] != '\0' ? g_addressOverride : nullptr, g_firstPort) != 0) {
        core::log(0, "Init TCPServer Error!\n");
    }
    return g_server.get();
}

int writePairingImage(const char* path) {
    TCPServer* server = startPairingServer();
    if (server == nullptr) return -1;
    char text[128];
    formatPairingText(text, sizeof text, server->serverAddress(), server->port());
    writeQrImage(path, text);
    return 0;
}

int registerWifiPhone(const char* peerAddress, int32_t port, int32_t deviceIndex) {
    core::DeviceEntry* row = core::deviceRow(deviceIndex);
    if (row == nullptr) return -1;
    // At most 1,023 reply bytes, so the text always ends in a zero byte.
    char reply[1024] = {};
    if (link::sendCommand(link::kDeviceInfoCommand, reply, sizeof reply - 1, nullptr, 0, deviceIndex) < 1) {
        return -1;
    }
    DeviceInfoRecord info{};
    link::parseDeviceInfoReply(reply, info);

    core::copyText(row->brand, sizeof row->brand, info.brand);
    const size_t serialLength = core::copyText(row->serial, sizeof row->serial, info.serial);
    core::copyText(row->serial + serialLength, sizeof row->serial - serialLength, peerAddress);
    core::copyText(row->model, sizeof row->model, info.model);
    core::copyText(row->androidVersion, sizeof row->androidVersion, info.androidVersion);
    core::copyText(row->state, sizeof row->state, "device");
    core::copyText(row->address, sizeof row->address, peerAddress);
    row->port = port;
    row->connectionKind = core::kConnectionWifi;
    core::addWifiPhone(core::state());
    core::notifyWifi(0);

    // However long the host's callback took, the notice gets a moment of its own.
    const link::Deadline notice = std::chrono::steady_clock::now() + kNoticeTime;
    link::setChannelDeadline(deviceIndex, notice);
    int32_t ignored = 0;
    link::sendCommand(kConnectOkNotice, reinterpret_cast<char*>(&ignored), sizeof ignored, nullptr, 0,
                      deviceIndex);
    return 0;
}

#ifdef ZENTRO_TESTING
void setPairingOptionsForTests(const PairingOptions& options) {
    std::lock_guard<std::mutex> guard(g_serverMutex);
    core::copyText(g_addressOverride, sizeof g_addressOverride, options.serverAddress);
    g_firstPort = options.firstPort;
}

TCPServer* pairingServerForTests() {
    std::lock_guard<std::mutex> guard(g_serverMutex);
    return g_server.get();
}

void resetPairingForTests() {
    std::unique_ptr<TCPServer> server;
    {
        std::lock_guard<std::mutex> guard(g_serverMutex);
        server = std::move(g_server);
        g_serverMade = false;
        g_addressOverride[0] = '\0';
        g_firstPort = kPairingPort;
    }
    server.reset();
}
#endif

} // namespace zentro::pairing
