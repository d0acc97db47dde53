// A plain client of the companion's command channel for benchmarks: Nagle off, one write per
// command (with its payload), the reply read to its announced length, nothing parsed. It is
// what the library's own channel is measured against.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace zbench {

class BareChannel {
public:
    explicit BareChannel(uint16_t port); // connects to 127.0.0.1:port
    ~BareChannel();
    BareChannel(const BareChannel&) = delete;
    BareChannel& operator=(const BareChannel&) = delete;

    bool ok() const { return fd_ >= 0; }

    // Sends the command and its payload; the reply's byte count, -1 on a broken connection or a
    // reply longer than `capacity`.
    int exchange(const std::string& command, const char* payload, size_t payloadSize, char* reply,
                 size_t capacity);
    int exchange(const std::string& command, char* reply, size_t capacity) {
        return exchange(command, nullptr, 0, reply, capacity);
    }

private:
    bool readAll(char* out, size_t size);
    int fd_ = -1;
};

inline BareChannel::BareChannel(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

inline BareChannel::~BareChannel() {
    if (fd_ >= 0) ::close(fd_);
}

inline int BareChannel::exchange(const std::string& command, const char* payload, size_t payloadSize,
                                 char* reply, size_t capacity) {
    if (fd_ < 0) return -1;
    iovec parts[2] = {{const_cast<char*>(command.data()), command.size()},
                      {const_cast<char*>(payload), payloadSize}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = payloadSize > 0 ? 2 : 1;
    if (::sendmsg(fd_, &message, MSG_NOSIGNAL) != static_cast<ssize_t>(command.size() + payloadSize))
        return -1;
    unsigned char header[4];
    if (!readAll(reinterpret_cast<char*>(header), 4)) return -1;
    const auto length = static_cast<int32_t>(header[0] | header[1] << 8 | header[2] << 16 |
                                             static_cast<uint32_t>(header[3]) << 24);
    if (length < 0 || static_cast<size_t>(length) > capacity) return -1;
    return readAll(reply, static_cast<size_t>(length)) ? length : -1;
}

inline bool BareChannel::readAll(char* out, size_t size) {
    for (size_t have = 0; have < size;) {
        const ssize_t n = ::recv(fd_, out + have, size - have, 0);
        if (n <= 0) return false;
        have += static_cast<size_t>(n);
    }
    return true;
}

} // namespace zbench
