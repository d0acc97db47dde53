// The command channel: one TCP connection per phone to the companion application, carrying
// exchanges of a command text (plus, for uploads, raw payload bytes behind it) answered by a
// 4-byte little-endian length and that many bytes. A USB phone is reached on a local port that
// adb forwards to the phone (30148 -> 20148 for device index 0, 30149 -> 20149 for index 1); a
// phone that joined over WiFi at its own address and port.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

#include "platform/socket.h"

namespace zentro::link {

constexpr uint16_t kUsbLocalPortBase = 30148;
constexpr int kPhonePortOffset = 10000; // phone port = local port - 10,000
constexpr int kExchangeAttempts = 3;

// Waits and ports of the command channel.
struct LinkTimings {
    int idleReadSleepMs = 1000;                  // after a receive that found the phone's side closed
    int forwardSleepMs = 300;                    // after each of the two forwarding runs
    void (*sleepMs)(int milliseconds) = nullptr; // null: the platform's sleep
    platform::ClientOptions socket;
    uint16_t usbLocalPortBase = kUsbLocalPortBase;
};

// A point in time by which a channel's connects and exchanges must end; kNoDeadline: none.
using Deadline = std::chrono::steady_clock::time_point;
constexpr Deadline kNoDeadline{};

class CommandChannel {
public:
    CommandChannel() = default;
    ~CommandChannel();
    CommandChannel(const CommandChannel&) = delete;
    CommandChannel& operator=(const CommandChannel&) = delete;

    // Unless already connected, opens the connection: with a host, to host:port (WiFi);
    // without, forwards the port through adb for `serial` (when not empty) and connects to
    // 127.0.0.1:port. 0 or -1.
    int openIfClosed(const char* hostOrNull, uint16_t port, const char* serialOrNull);
    void close();

    // One exchange with up to three attempts (attempt numbers from `tryCount` to 2), each
    // failed one followed by a reconnect. The result is the number of reply bytes (> 0), 0 for
    // an empty reply (the first 4 reply bytes, or fewer when the capacity is smaller, are then
    // zeroed), or -1. Exactly the announced length is read, never more. The channel's lock is
    // held for each whole attempt.
    int exchange(const char* command, char* reply, int32_t capacity, const void* payload,
                 int32_t payloadLength, int tryCount = 0);

    // From now on every connect, wait and attempt ends by `deadline`: an exchange still running
    // then fails. For a peer not yet known to be a phone, which may accept and never answer.
    void setDeadline(Deadline deadline);
    bool isOpen();

private:
    enum class Attempt { Done, Failed };
    Attempt attempt(const char* command, char* reply, int32_t capacity, const void* payload,
                    int32_t payloadLength, int& result);
    int openLocked(const char* hostOrNull, uint16_t port, const char* serialOrNull);
    int connect();
    void closeLocked();
    bool forwardPort(); // false when the serial was refused
    bool receiveLength(int32_t& length);
    // Milliseconds left before the deadline (0 when passed); -1 without a deadline.
    int remainingMs() const;
    // One receive, waiting no longer than the deadline allows; -1 once it has passed.
    int receive(void* buffer, size_t size);

    uint16_t port_ = 0;
    char host_[64] = {};
    const char* hostReference_ = nullptr; // host_ when opened with a host (WiFi), else null
    platform::SocketHandle socket_ = 0;
    char serial_[256] = {};
    bool libraryStarted_ = false;
    Deadline deadline_ = kNoDeadline;
    std::mutex lock_;
};

// The one send-and-receive operation of the library. Device index 0 uses channel 0, any other
// index channel 1; channels are opened on first use (indexes 0 and 1 only). Payload is sent
// only when not null and its length is at least 1. Result as CommandChannel::exchange; -1 also
// for a null or empty command, a null reply buffer, a negative capacity, an index outside 0..9,
// or when no channel could be had.
int sendCommand(const char* command, char* reply, int32_t capacity, const void* payload,
                int32_t payloadLength, int32_t deviceIndex);

// Creates the channel of index 0 or 1 if missing and opens it if it is not connected: with no
// host for a USB phone (the index's local port and the serial of its device row), else with the
// given host and port and no serial. Other indexes: nothing. 0, or -1 when the open failed.
int ensureChannel(int32_t deviceIndex, const char* hostOrNull, int32_t port);

// As ensureChannel with a host, the channel bounded by `deadline` (see setDeadline) from its
// connect on, until setChannelDeadline lifts it.
int ensureChannelBy(int32_t deviceIndex, const char* host, int32_t port, Deadline deadline);
void setChannelDeadline(int32_t deviceIndex, Deadline deadline);

// True when the channel of index 0 or 1 exists and is connected (waits for a running exchange).
bool channelOpen(int32_t deviceIndex);

// Index 0 or 1: closes the connection and empties the slot (waits for a running exchange).
void closeChannel(int32_t deviceIndex);

// 1 when channel 0 exists and channel 1 does not, else 0.
int channelInUse();

} // namespace zentro::link
