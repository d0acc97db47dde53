// TCP sockets on POSIX. Every socket is close-on-exec, so adb children never hold a channel
// open; sends use MSG_NOSIGNAL because the library installs no SIGPIPE handler.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "platform/socket.h"

namespace zentro::platform {
namespace {

// Descriptor 0 is "no socket" to every caller; should stdin have been closed, move the socket.
int avoidDescriptorZero(int fd) {
    if (fd != 0) return fd;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
    ::close(fd);
    return moved;
}

timeval toTimeval(int milliseconds) {
    timeval tv{};
    if (milliseconds > 0) {
        tv.tv_sec = milliseconds / 1000;
        tv.tv_usec = (milliseconds % 1000) * 1000;
    }
    return tv;
}

bool parseAddress(const char* host, uint16_t port, sockaddr_in& address) {
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    return host != nullptr && inet_pton(AF_INET, host, &address.sin_addr) == 1;
}

} // namespace

bool socketLibraryStart() { return true; }
void socketLibraryRelease() {}

SocketHandle tcpConnect(const char* host, uint16_t port, const ClientOptions& options) {
    sockaddr_in address;
    if (!parseAddress(host, port, address)) return 0;
    int fd = avoidDescriptorZero(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    if (fd < 0) return 0;

    // Set before connecting: the buffer sizes then shape the window offered in the handshake,
    // and on Linux the send time-out also bounds connect itself.
    timeval receiveTimeout = toTimeval(options.receiveTimeoutMs);
    timeval sendTimeout = toTimeval(options.sendTimeoutMs);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &receiveTimeout, sizeof receiveTimeout);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
    // Both buffer sizes are left to the kernel on purpose (see socket.h).
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return 0;
    }
    return fd;
}

int64_t tcpSendPair(SocketHandle socket, const void* first, size_t firstSize, const void* second,
                    size_t secondSize) {
    iovec parts[2];
    int count = 0;
    if (first != nullptr && firstSize > 0) parts[count++] = {const_cast<void*>(first), firstSize};
    if (second != nullptr && secondSize > 0) parts[count++] = {const_cast<void*>(second), secondSize};
    int64_t total = 0;
    iovec* next = parts;
    while (count > 0) {
        msghdr message{};
        message.msg_iov = next;
        message.msg_iovlen = static_cast<size_t>(count);
        ssize_t sent = sendmsg(static_cast<int>(socket), &message, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            return total > 0 ? total : -1;
        }
        total += sent;
        size_t left = static_cast<size_t>(sent);
        while (count > 0 && left >= next->iov_len) {
            left -= next->iov_len;
            ++next;
            --count;
        }
        if (count > 0) {
            next->iov_base = static_cast<char*>(next->iov_base) + left;
            next->iov_len -= left;
        }
    }
    return total;
}

int tcpReceive(SocketHandle socket, void* buffer, size_t size) {
    for (;;) {
        ssize_t n = ::recv(static_cast<int>(socket), buffer, size, 0);
        if (n >= 0) return static_cast<int>(n);
        if (errno != EINTR) return -1;
    }
}

void tcpClose(SocketHandle socket) {
    if (socket != 0) ::close(static_cast<int>(socket));
}

SocketHandle tcpListen(const char* host, uint16_t port, int backlog) {
    sockaddr_in address;
    if (!parseAddress(host, port, address)) return 0;
    int fd = avoidDescriptorZero(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    if (fd < 0) return 0;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, backlog) != 0) {
        ::close(fd);
        return 0;
    }
    return fd;
}

SocketHandle tcpAccept(SocketHandle listener, int timeoutMs) {
    if (!tcpWaitReadable(listener, timeoutMs)) return 0;
    int fd = accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return 0;
    fd = avoidDescriptorZero(fd);
    if (fd < 0) return 0;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

uint16_t tcpLocalPort(SocketHandle socket) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

bool tcpWaitReadable(SocketHandle socket, int timeoutMs) {
    pollfd waitFor{static_cast<int>(socket), POLLIN, 0};
    int ready;
    do {
        ready = poll(&waitFor, 1, timeoutMs < 0 ? -1 : timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

bool hostIpv4Address(char* out, size_t size) {
    if (out == nullptr || size == 0) return false;
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return false;
    bool ok = false;
    for (addrinfo* at = found; at != nullptr && !ok; at = at->ai_next) {
        if (at->ai_family != AF_INET) continue;
        const auto* address = reinterpret_cast<const sockaddr_in*>(at->ai_addr);
        char text[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) == nullptr) continue;
        if (std::strlen(text) >= size) continue;
        std::memcpy(out, text, std::strlen(text) + 1);
        ok = true;
    }
    freeaddrinfo(found);
    return ok;
}

SocketHandle tcpSocket() {
    int fd = avoidDescriptorZero(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    return fd < 0 ? 0 : fd;
}

bool tcpBind(SocketHandle socket, const char* host, uint16_t port) {
    sockaddr_in address;
    if (!parseAddress(host, port, address)) {
        errno = EINVAL;
        return false;
    }
    // A server restarted within a minute must get its port back despite old connections.
    int one = 1;
    setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    return ::bind(static_cast<int>(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool tcpStartListening(SocketHandle socket, int backlog) {
    return ::listen(static_cast<int>(socket), backlog) == 0;
}

SocketHandle tcpAcceptPeer(SocketHandle listener, char* peer, size_t size) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    int fd;
    do {
        fd =
            accept4(static_cast<int>(listener), reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return 0;
    fd = avoidDescriptorZero(fd);
    if (fd < 0) return 0;
    if (peer != nullptr && size > 0) {
        char text[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) == nullptr) text[0] = '\0';
        size_t n = std::strlen(text);
        if (n >= size) n = size - 1;
        std::memcpy(peer, text, n);
        peer[n] = '\0';
    }
    return fd;
}

int tcpWaitAnyReadable(const SocketHandle* sockets, bool* readable, size_t count, int timeoutMs) {
    std::vector<pollfd> waitFor(count);
    for (size_t i = 0; i < count; ++i) waitFor[i] = {static_cast<int>(sockets[i]), POLLIN, 0};
    int ready;
    do {
        ready = poll(waitFor.data(), waitFor.size(), timeoutMs < 0 ? -1 : timeoutMs);
    } while (ready < 0 && errno == EINTR);
    for (size_t i = 0; i < count; ++i) {
        readable[i] = ready > 0 && (waitFor[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
    }
    return ready;
}

void lastSocketError(char* out, size_t size) {
    if (out == nullptr || size == 0) return;
    const char* text = std::strerror(errno);
    size_t n = std::strlen(text);
    if (n >= size) n = size - 1;
    std::memcpy(out, text, n);
    out[n] = '\0';
}

} // namespace zentro::platform
