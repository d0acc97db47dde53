// Helpers shared by the fuzz targets: an invariant check that stops the run with a message, a
// zero-terminated copy of the input, and a scripted companion on 127.0.0.1 for the targets that
// go through the real command channel.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/command_channel.h"
#include "link/test_seams.h"
#include "platform/socket.h"

// A broken invariant is a finding: libFuzzer writes the input out when the process aborts.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "FUZZ CHECK failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);         \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

namespace zfuzz {

// The input as a heap block of exactly size + 1 bytes ending in a zero byte, so a read past the
// text's end is caught by the address sanitizer.
inline std::vector<char> terminated(const uint8_t* data, size_t size) {
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    return text;
}

// True when the fixed field holds a zero byte (the host may read it as a C string).
template <size_t N>
bool isTerminated(const char (&field)[N]) {
    return std::memchr(field, '\0', N) != nullptr;
}

// Splits bytes at zero bytes: the pieces a target hands out as C strings.
inline std::vector<std::string> splitAtZero(const uint8_t* data, size_t size) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            parts.emplace_back();
        } else {
            parts.back().push_back(static_cast<char>(data[i]));
        }
    }
    return parts;
}

// A companion on an ephemeral loopback port serving one connection at a time. Each command
// (read up to its closing ";") goes
// to the responder, whose bytes are sent back; with `closeAfterReply` the connection is then
// closed, so a short or broken reply never leaves the library waiting for its time-out.
class Companion {
public:
    using Responder = std::function<std::string(const std::string& command)>;

    explicit Companion(bool closeAfterReply)
        : closeAfterReply_(closeAfterReply) {
        zentro::platform::socketLibraryStart();
        listener_ = zentro::platform::tcpListen("127.0.0.1", 0, 8);
        if (listener_ == 0) {
            std::fprintf(stderr, "fuzz companion: cannot listen on 127.0.0.1\n");
            std::abort();
        }
        port_ = zentro::platform::tcpLocalPort(listener_);
        thread_ = std::thread([this] { serve(); });
    }
    ~Companion() {
        stop_.store(true);
        thread_.join();
        zentro::platform::tcpClose(listener_);
    }

    uint16_t port() const { return port_; }

    void setResponder(Responder responder) {
        std::lock_guard<std::mutex> guard(mutex_);
        responder_ = std::move(responder);
    }
    std::vector<std::string> takeCommands() {
        std::lock_guard<std::mutex> guard(mutex_);
        std::vector<std::string> out;
        out.swap(commands_);
        return out;
    }

private:
    void serve() {
        while (!stop_.load()) {
            zentro::platform::SocketHandle socket = zentro::platform::tcpAccept(listener_, 20);
            if (socket == 0) continue;
            serveConnection(socket);
            zentro::platform::tcpClose(socket);
        }
    }

    void serveConnection(zentro::platform::SocketHandle socket) {
        std::string command;
        char buffer[65536];
        while (!stop_.load()) {
            if (!zentro::platform::tcpWaitReadable(socket, 20)) continue;
            const int n = zentro::platform::tcpReceive(socket, buffer, sizeof buffer);
            if (n <= 0) return; // the library closed the channel
            command.append(buffer, static_cast<size_t>(n));
            if (command.back() != ';') continue;
            std::string reply;
            {
                std::lock_guard<std::mutex> guard(mutex_);
                commands_.push_back(command);
                if (responder_) reply = responder_(command);
            }
            command.clear();
            if (!reply.empty()) zentro::platform::tcpSendPair(socket, reply.data(), reply.size(), nullptr, 0);
            if (closeAfterReply_) return;
        }
    }

    const bool closeAfterReply_;
    zentro::platform::SocketHandle listener_ = 0;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    Responder responder_;
    std::vector<std::string> commands_;
    std::thread thread_;
};

// Short waits and time-outs for the channel, and device index 0 pointed at the companion
// (a USB row with no serial: no adb is ever started).
inline void pointChannelAt(uint16_t port) {
    zentro::link::LinkTimings timings;
    timings.idleReadSleepMs = 0;
    timings.forwardSleepMs = 0;
    timings.sleepMs = [](int) {};
    timings.socket.receiveTimeoutMs = 5000;
    timings.socket.sendTimeoutMs = 5000;
    timings.usbLocalPortBase = port;
    zentro::link::setLinkTimingsForTests(timings);
}

// A little-endian 4-byte length followed by the body: a well-formed reply.
inline std::string framed(const std::string& body) {
    const auto n = static_cast<uint32_t>(body.size());
    std::string out{static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
                    static_cast<char>(n >> 24)};
    return out + body;
}

} // namespace zfuzz
