// A scripted companion on 127.0.0.1 that takes connections one after another and hands each to
// a handler; needs nothing of the test framework, so the fuzz targets use it too.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"

namespace linktest {

namespace net = zentro::platform;

// A reply's length as the companion announces it: four bytes, least significant first.
inline std::string lengthBytes(int32_t length) {
    const auto value = static_cast<uint32_t>(length);
    return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
            static_cast<char>(value >> 24)};
}

class PeerConnection {
public:
    PeerConnection(net::SocketHandle socket, const std::atomic<bool>& stop,
                   std::function<void(std::string)> record)
        : socket_(socket)
        , stop_(stop)
        , record_(std::move(record)) {}

    // A command up to and including its ";"; nothing once the library closed the connection.
    std::optional<std::string> readCommand() {
        std::string command;
        while (command.empty() || command.back() != ';') {
            const std::string c = readBytes(1);
            if (c.empty()) return std::nullopt;
            command += c;
        }
        record_(command);
        return command;
    }

    // `size` bytes, or fewer when the connection ended. Waits in short slices, so a peer being
    // torn down never stays blocked on a connection the library still holds open.
    std::string readBytes(size_t size) {
        std::string bytes(size, '\0');
        size_t have = 0;
        while (have < size && !stop_.load()) {
            if (!net::tcpWaitReadable(socket_, 20)) continue;
            const int n = net::tcpReceive(socket_, &bytes[have], size - have);
            if (n <= 0) break; // the library closed the connection
            have += static_cast<size_t>(n);
        }
        bytes.resize(have);
        return bytes;
    }

    void send(const std::string& bytes) { net::tcpSendPair(socket_, bytes.data(), bytes.size(), nullptr, 0); }
    void sendReply(const std::string& body) { send(lengthBytes(static_cast<int32_t>(body.size())) + body); }

private:
    net::SocketHandle socket_;
    const std::atomic<bool>& stop_;
    std::function<void(std::string)> record_;
};

class LoopbackPeer {
public:
    // handler(connection, n): n counts connections from 0; the connection closes when it returns.
    using Handler = std::function<void(PeerConnection&, int)>;

    explicit LoopbackPeer(Handler handler)
        : handler_(std::move(handler)) {
        net::socketLibraryStart();
        listener_ = net::tcpListen("127.0.0.1", 0, 8);
        port_ = net::tcpLocalPort(listener_);
        thread_ = std::thread([this] { serve(); });
    }
    ~LoopbackPeer() {
        stop_.store(true);
        thread_.join();
        net::tcpClose(listener_);
        net::socketLibraryRelease();
    }

    uint16_t port() const { return port_; }
    int connections() const { return connections_.load(); }
    // Every command read, over all connections.
    std::vector<std::string> commands() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return commands_;
    }
    void forgetCommands() {
        std::lock_guard<std::mutex> guard(mutex_);
        commands_.clear();
    }

private:
    void serve() {
        while (!stop_.load()) {
            net::SocketHandle socket = net::tcpAccept(listener_, 20);
            if (socket == 0) continue;
            PeerConnection connection(socket, stop_, [this](std::string command) {
                std::lock_guard<std::mutex> guard(mutex_);
                commands_.push_back(std::move(command));
            });
            handler_(connection, connections_.fetch_add(1));
            net::tcpClose(socket);
        }
    }

    Handler handler_;
    net::SocketHandle listener_ = 0;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> commands_;
    std::thread thread_;
};

} // namespace linktest
