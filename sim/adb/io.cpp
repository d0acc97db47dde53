#include "adb/io.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zsim::adb {

bool readExact(int fd, void* buffer, size_t n) {
    auto* p = static_cast<char*>(buffer);
    while (n > 0) {
        ssize_t got = ::recv(fd, p, n, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

int listenTcp(const std::string& address, int port, std::string* error) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (error) *error = std::strerror(errno);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
        ::close(fd);
        if (error) *error = "bad address " + address;
        return -1;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
        if (error) *error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

int localPort(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return -1;
    return ntohs(addr.sin_port);
}

void finishConnection(int fd, int waitMs) {
    ::shutdown(fd, SHUT_WR);
    char sink[4096];
    size_t dropped = 0;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, waitMs);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return;
        ssize_t got = ::recv(fd, sink, sizeof sink, 0);
        if (got <= 0 || (dropped += static_cast<size_t>(got)) > (size_t{16} << 20)) return;
    }
}

bool peerStillOpen(int fd) {
    pollfd p{fd, POLLIN, 0};
    int r = ::poll(&p, 1, 0);
    if (r < 0) return errno == EINTR;
    if (r == 0) return true;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
    char c;
    ssize_t got = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    return got > 0 || (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR));
}

} // namespace zsim::adb
