#include "link/command_channel.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "bridge/adb_runner.h"
#include "core/log.h"
#include "core/state.h"
#ifdef ZENTRO_TESTING
#include "link/test_seams.h"
#endif
#include "platform/clock.h"

namespace zentro::link {
namespace {

#ifdef ZENTRO_TESTING
LinkTimings g_timings; // tests shorten the waits and move the ports
#else
const LinkTimings g_timings;
#endif

// Two slots, for device index 0 and 1. Exchanges hold a reference, so closing a slot while
// another thread is inside an exchange cannot free the channel under it.
std::mutex g_slotMutex;
std::shared_ptr<CommandChannel> g_slots[2];

void pause(int milliseconds) {
    if (g_timings.sleepMs != nullptr) {
        g_timings.sleepMs(milliseconds);
    } else {
        platform::sleepMs(milliseconds);
    }
}

int slotOf(int32_t deviceIndex) { return deviceIndex == 0 ? 0 : 1; }

std::shared_ptr<CommandChannel> channelAt(int slot) {
    std::lock_guard<std::mutex> guard(g_slotMutex);
    return g_slots[slot];
}

// The failure line of an exchange that could not be tried; hosts' logs are read for this exact
// text, so it stays as it is.
void logExchangeRefused(const char* command, platform::SocketHandle socket, int tryCount) {
    core::log(0, "error SendCommandToAndroidServices cmd = %s, m_sockSrv =%d, try_count = %d\n", command,
              static_cast<int>(socket), tryCount);
}

} // namespace

CommandChannel::~CommandChannel() { closeLocked(); }

int CommandChannel::openIfClosed(const char* hostOrNull, uint16_t port, const char* serialOrNull) {
    std::lock_guard<std::mutex> guard(lock_);
    return socket_ != 0 ? 0 : openLocked(hostOrNull, port, serialOrNull);
}

void CommandChannel::close() {
    std::lock_guard<std::mutex> guard(lock_);
    closeLocked();
}

int CommandChannel::openLocked(const char* hostOrNull, uint16_t port, const char* serialOrNull) {
    // The arguments may point into this channel (a reconnect reuses its own host and serial).
    char host[sizeof host_];
    char serial[sizeof serial_];
    core::copyText(host, sizeof host, hostOrNull, sizeof host - 1);
    core::copyText(serial, sizeof serial, serialOrNull, 254);

    closeLocked(); // never leave an open socket behind unreferenced
    port_ = port;
    std::memcpy(serial_, serial, sizeof serial_);
    if (hostOrNull != nullptr) {
        std::memcpy(host_, host, sizeof host_);
        hostReference_ = host_;
    } else {
        // A USB phone: every (re)connect renews the forwarding, since the adb server may have
        // been restarted since the last one.
        if (!forwardPort()) return -1;
        core::copyText(host_, sizeof host_, "127.0.0.1", sizeof host_ - 1);
        hostReference_ = nullptr;
    }
    if (connect() != 0) {
        closeLocked();
        return -1;
    }
    return 0;
}

bool CommandChannel::forwardPort() {
    if (serial_[0] == '\0') return true;
    // A refused serial must not connect either: the port may still lead to another phone.
    if (!bridge::plainAdbWord(serial_, "serial of forward")) return false;
    char args[bridge::kCommandLineSize];
    std::snprintf(args, sizeof args, "-s %s shell forward --remove-all", serial_);
    bridge::runAdb(args);
    pause(g_timings.forwardSleepMs);
    std::snprintf(args, sizeof args, "-s %s forward tcp:%d tcp:%d", serial_, static_cast<int>(port_),
                  static_cast<int>(port_) - kPhonePortOffset);
    bridge::runAdb(args);
    pause(g_timings.forwardSleepMs);
    return true;
}

void CommandChannel::setDeadline(Deadline deadline) {
    std::lock_guard<std::mutex> guard(lock_);
    deadline_ = deadline;
}

bool CommandChannel::isOpen() {
    std::lock_guard<std::mutex> guard(lock_);
    return socket_ != 0;
}

int CommandChannel::remainingMs() const {
    if (deadline_ == kNoDeadline) return -1;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now())
            .count();
    return left > 0 ? static_cast<int>(left) : 0;
}

int CommandChannel::receive(void* buffer, size_t size) {
    const int left = remainingMs();
    if (left == 0 || (left > 0 && !platform::tcpWaitReadable(socket_, left))) return -1;
    return platform::tcpReceive(socket_, buffer, size);
}

int CommandChannel::connect() {
    platform::ClientOptions options = g_timings.socket;
    const int left = remainingMs();
    if (left == 0) return -1;
    if (left > 0 && left < options.sendTimeoutMs) options.sendTimeoutMs = left; // bounds the connect
    if (!platform::socketLibraryStart()) return -1;
    libraryStarted_ = true;
    socket_ = platform::tcpConnect(host_, port_, options);
    if (socket_ == 0) {
        platform::socketLibraryRelease();
        libraryStarted_ = false;
        return -1;
    }
    return 0;
}

void CommandChannel::closeLocked() {
    if (socket_ != 0) platform::tcpClose(socket_);
    socket_ = 0;
    if (libraryStarted_) {
        platform::socketLibraryRelease();
        libraryStarted_ = false;
    }
}

bool CommandChannel::receiveLength(int32_t& length) {
    // A length split over two segments must not leave bytes behind for the body to eat.
    unsigned char bytes[4];
    size_t have = 0;
    while (have < sizeof bytes) {
        int n = receive(bytes + have, sizeof bytes - have);
        if (n <= 0) return false;
        have += static_cast<size_t>(n);
    }
    length =
        static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                             static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
    return true;
}

CommandChannel::Attempt CommandChannel::attempt(const char* command, char* reply, int32_t capacity,
                                                const void* payload, int32_t payloadLength, int& result) {
    const size_t commandLength = std::strlen(command);
    const bool withPayload = payload != nullptr && payloadLength >= 1;
    int64_t sent = platform::tcpSendPair(socket_, command, commandLength, withPayload ? payload : nullptr,
                                         withPayload ? static_cast<size_t>(payloadLength) : 0);
    if (sent <= 0 || sent < static_cast<int64_t>(commandLength)) return Attempt::Failed;

    int32_t length = 0;
    if (!receiveLength(length)) return Attempt::Failed;
    if (length > capacity) {
        // Take what fits; the reconnect that follows drops the rest.
        if (capacity > 0) receive(reply, static_cast<size_t>(capacity));
        return Attempt::Failed;
    }

    int32_t received = 0;
    int idle = 0;
    while (received < length) {
        // Ask for exactly the announced rest, so bytes beyond the announced length are never
        // taken for this reply.
        int n = receive(reply + received, static_cast<size_t>(length - received));
        if (n < 0) break; // error or time-out: the caller gets what arrived
        if (n == 0) {
            // The phone closed its side; give it a moment, five times in all.
            const int left = remainingMs();
            if (left >= 0 && left < g_timings.idleReadSleepMs) return Attempt::Failed;
            pause(g_timings.idleReadSleepMs);
            if (idle > 3) return Attempt::Failed;
            ++idle;
            continue;
        }
        idle = 0;
        received += n;
    }
    if (received < length) {
        // The rest of this reply may still come and would be read as the next reply's length:
        // the connection is given up, and the next exchange opens a fresh one.
        closeLocked();
    }
    if (received > 0) {
        result = received;
    } else {
        std::memset(reply, 0, static_cast<size_t>(capacity < 4 ? capacity : 4));
        result = 0;
    }
    return Attempt::Done;
}

int CommandChannel::exchange(const char* command, char* reply, int32_t capacity, const void* payload,
                             int32_t payloadLength, int tryCount) {
    if (command == nullptr) return -1;
    for (;; ++tryCount) {
        std::unique_lock<std::mutex> guard(lock_);
        if (command[0] == '\0' || tryCount >= kExchangeAttempts || socket_ == 0 || reply == nullptr ||
            capacity < 0 || remainingMs() == 0) {
            logExchangeRefused(command, socket_, tryCount);
            return -1;
        }
        int result = -1;
        if (attempt(command, reply, capacity, payload, payloadLength, result) == Attempt::Done) {
            return result;
        }
        core::log(0, "SendCommandToAndroidServices error:cmd=%s\n", command); // hosts grep for it
        closeLocked();
        openLocked(hostReference_, port_, serial_);
        // The lock is released before the next attempt, so other threads may come in between.
    }
}

namespace {

std::shared_ptr<CommandChannel> makeChannel(int32_t deviceIndex) {
    std::lock_guard<std::mutex> guard(g_slotMutex);
    if (!g_slots[deviceIndex]) g_slots[deviceIndex] = std::make_shared<CommandChannel>();
    return g_slots[deviceIndex];
}

} // namespace

int ensureChannelBy(int32_t deviceIndex, const char* host, int32_t port, Deadline deadline) {
    if (deviceIndex != 0 && deviceIndex != 1) return 0;
    makeChannel(deviceIndex)->setDeadline(deadline);
    return ensureChannel(deviceIndex, host, port);
}

void setChannelDeadline(int32_t deviceIndex, Deadline deadline) {
    if (deviceIndex != 0 && deviceIndex != 1) return;
    if (std::shared_ptr<CommandChannel> channel = channelAt(deviceIndex)) channel->setDeadline(deadline);
}

bool channelOpen(int32_t deviceIndex) {
    if (deviceIndex != 0 && deviceIndex != 1) return false;
    std::shared_ptr<CommandChannel> channel = channelAt(deviceIndex);
    return channel && channel->isOpen();
}

int ensureChannel(int32_t deviceIndex, const char* hostOrNull, int32_t port) {
    if (deviceIndex != 0 && deviceIndex != 1) return 0;
    std::shared_ptr<CommandChannel> channel = makeChannel(deviceIndex);
    if (hostOrNull == nullptr) {
        const core::DeviceEntry* row = core::deviceRow(deviceIndex);
        char serial[sizeof row->serial];
        core::copyText(serial, sizeof serial, row->serial);
        const auto localPort = static_cast<uint16_t>(g_timings.usbLocalPortBase + deviceIndex);
        return channel->openIfClosed(nullptr, localPort, serial);
    }
    if (port <= 0 || port > 65535) return -1;
    return channel->openIfClosed(hostOrNull, static_cast<uint16_t>(port), nullptr);
}

void closeChannel(int32_t deviceIndex) {
    if (deviceIndex != 0 && deviceIndex != 1) return;
    std::shared_ptr<CommandChannel> channel;
    {
        std::lock_guard<std::mutex> guard(g_slotMutex);
        channel = std::move(g_slots[deviceIndex]);
    }
    if (channel) channel->close();
}

int channelInUse() {
    std::lock_guard<std::mutex> guard(g_slotMutex);
    return g_slots[0] && !g_slots[1] ? 1 : 0;
}

int sendCommand(const char* command, char* reply, int32_t capacity, const void* payload,
                int32_t payloadLength, int32_t deviceIndex) {
    if (command == nullptr) return -1;
    const core::DeviceEntry* row = core::deviceRow(deviceIndex);
    if (row == nullptr) return -1;
    if (command[0] != '\0' && reply != nullptr && capacity >= 0) {
        if (row->connectionKind == core::kConnectionWifi) {
            char address[sizeof row->address];
            core::copyText(address, sizeof address, row->address);
            ensureChannel(deviceIndex, address, row->port);
        } else {
            ensureChannel(deviceIndex, nullptr, 0);
        }
    }
    std::shared_ptr<CommandChannel> channel = channelAt(slotOf(deviceIndex));
    if (!channel) {
        logExchangeRefused(command, 0, 0);
        return -1;
    }
    return channel->exchange(command, reply, capacity, payload, payloadLength, 0);
}

#ifdef ZENTRO_TESTING
void setLinkTimingsForTests(const LinkTimings& timings) { g_timings = timings; }

void resetLinkForTests() {
    closeChannel(0);
    closeChannel(1);
    g_timings = LinkTimings{};
}
#endif

} // namespace zentro::link
