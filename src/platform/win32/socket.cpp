// TCP sockets on Windows, with nothing beyond Windows Sockets 1.1. Sockets are made
// non-inheritable, so adb children (created with inheritable handles) never hold a channel.
#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h before windows.h, or windows.h pulls in the old winsock.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/socket.h"

namespace zentro::platform {
namespace {

SOCKET toSocket(SocketHandle handle) { return static_cast<SOCKET>(handle); }

bool parseAddress(const char* host, uint16_t port, sockaddr_in& address) {
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (host == nullptr) return false;
    unsigned long value = inet_addr(host);
    // inet_addr cannot tell 255.255.255.255 from an error; no phone has that address.
    if (value == INADDR_NONE) return false;
    address.sin_addr.s_addr = value;
    return true;
}

void notInherited(SOCKET s) { SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0); }

// Waits until `s` is ready; false on time-out or error.
bool waitReady(SOCKET s, bool forWrite, int timeoutMs) {
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    timeval tv{};
    timeval* limit = nullptr;
    if (timeoutMs >= 0) {
        tv.tv_sec = timeoutMs / 1000;
        tv.tv_usec = (timeoutMs % 1000) * 1000;
        limit = &tv;
    }
    int n = select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, &failed, limit);
    return n > 0 && FD_ISSET(s, &ready) && !FD_ISSET(s, &failed);
}

} // namespace

bool socketLibraryStart() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return false;
    if (data.wVersion != MAKEWORD(1, 1)) {
        WSACleanup();
        return false;
    }
    return true;
}

void socketLibraryRelease() { WSACleanup(); }

SocketHandle tcpConnect(const char* host, uint16_t port, const ClientOptions& options) {
    sockaddr_in address;
    if (!parseAddress(host, port, address)) return 0;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return 0;
    notInherited(s);

    DWORD receiveTimeout = static_cast<DWORD>(options.receiveTimeoutMs);
    DWORD sendTimeout = static_cast<DWORD>(options.sendTimeoutMs);
    int sendBuffer = options.sendBufferSize;
    int receiveBuffer = options.receiveBufferSize;
    BOOL one = TRUE;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receiveTimeout),
               sizeof receiveTimeout);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendTimeout), sizeof sendTimeout);
    if (sendBuffer > 0) {
        setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&sendBuffer), sizeof sendBuffer);
    }
    if (receiveBuffer > 0) {
        setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
                   sizeof receiveBuffer);
    }
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);

    // Winsock time-outs do not cover connect: connect without blocking and wait for at most the
    // send time-out, so an unreachable phone cannot hold the caller for minutes.
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    bool connected = ::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
        connected = waitReady(s, true, options.sendTimeoutMs > 0 ? options.sendTimeoutMs : -1);
    }
    nonBlocking = 0;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    if (!connected) {
        closesocket(s);
        return 0;
    }
    return static_cast<SocketHandle>(s);
}

int64_t tcpSendPair(SocketHandle socket, const void* first, size_t firstSize, const void* second,
                    size_t secondSize) {
    // Nagle is off, so the second part leaves right behind the first without waiting for an
    // acknowledgement.
    const char* parts[2] = {static_cast<const char*>(first), static_cast<const char*>(second)};
    size_t sizes[2] = {first != nullptr ? firstSize : 0, second != nullptr ? secondSize : 0};
    int64_t total = 0;
    for (int i = 0; i < 2; ++i) {
        size_t done = 0;
        while (done < sizes[i]) {
            size_t chunk = sizes[i] - done;
            if (chunk > 0x40000000) chunk = 0x40000000;
            int sent = send(toSocket(socket), parts[i] + done, static_cast<int>(chunk), 0);
            if (sent == SOCKET_ERROR || sent == 0) return total > 0 ? total : -1;
            done += static_cast<size_t>(sent);
            total += sent;
        }
    }
    return total;
}

int tcpReceive(SocketHandle socket, void* buffer, size_t size) {
    int ask = size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
    int n = recv(toSocket(socket), static_cast<char*>(buffer), ask, 0);
    return n == SOCKET_ERROR ? -1 : n;
}

void tcpClose(SocketHandle socket) {
    if (socket != 0) closesocket(toSocket(socket));
}

SocketHandle tcpListen(const char* host, uint16_t port, int backlog) {
    sockaddr_in address;
    if (!parseAddress(host, port, address)) return 0;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return 0;
    notInherited(s);
    if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(s, backlog) != 0) {
        closesocket(s);
        return 0;
    }
    return static_cast<SocketHandle>(s);
}

SocketHandle tcpAccept(SocketHandle listener, int timeoutMs) {
    if (!waitReady(toSocket(listener), false, timeoutMs)) return 0;
    SOCKET s = accept(toSocket(listener), nullptr, nullptr);
    if (s == INVALID_SOCKET) return 0;
    notInherited(s);
    BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return static_cast<SocketHandle>(s);
}

uint16_t tcpLocalPort(SocketHandle socket) {
    sockaddr_in address{};
    int size = sizeof address;
    if (getsockname(toSocket(socket), reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
    return ntohs(address.sin_port);
}

bool tcpWaitReadable(SocketHandle socket, int timeoutMs) {
    return waitReady(toSocket(socket), false, timeoutMs);
}

bool hostIpv4Address(char* out, size_t size) {
    if (out == nullptr || size == 0) return false;
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return false;
    // Winsock 1.1 resolution: the first address of the host entry, which is IPv4 by type.
    hostent* entry = gethostbyname(name);
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list == nullptr ||
        entry->h_addr_list[0] == nullptr) {
        return false;
    }
    in_addr address;
    std::memcpy(&address, entry->h_addr_list[0], sizeof address);
    const char* text = inet_ntoa(address);
    if (text == nullptr || std::strlen(text) >= size) return false;
    std::memcpy(out, text, std::strlen(text) + 1);
    return true;
}

SocketHandle tcpSocket() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return 0;
    notInherited(s);
    return static_cast<SocketHandle>(s);
}

bool tcpBind(SocketHandle socket, const char* host, uint16_t port) {
    sockaddr_in address;
    if (!parseAddress(host, port, address)) {
        WSASetLastError(WSAEINVAL);
        return false;
    }
    return bind(toSocket(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool tcpStartListening(SocketHandle socket, int backlog) { return listen(toSocket(socket), backlog) == 0; }

SocketHandle tcpAcceptPeer(SocketHandle listener, char* peer, size_t size) {
    sockaddr_in address{};
    int length = sizeof address;
    SOCKET s = accept(toSocket(listener), reinterpret_cast<sockaddr*>(&address), &length);
    if (s == INVALID_SOCKET) return 0;
    notInherited(s);
    if (peer != nullptr && size > 0) {
        const char* text = inet_ntoa(address.sin_addr);
        size_t n = text != nullptr ? std::strlen(text) : 0;
        if (n >= size) n = size - 1;
        if (n > 0) std::memcpy(peer, text, n);
        peer[n] = '\0';
    }
    return static_cast<SocketHandle>(s);
}

int tcpWaitAnyReadable(const SocketHandle* sockets, bool* readable, size_t count, int timeoutMs) {
    if (count > FD_SETSIZE) return -1;
    fd_set ready;
    FD_ZERO(&ready);
    for (size_t i = 0; i < count; ++i) FD_SET(toSocket(sockets[i]), &ready);
    timeval tv{};
    timeval* limit = nullptr;
    if (timeoutMs >= 0) {
        tv.tv_sec = timeoutMs / 1000;
        tv.tv_usec = (timeoutMs % 1000) * 1000;
        limit = &tv;
    }
    int n = select(0, &ready, nullptr, nullptr, limit);
    for (size_t i = 0; i < count; ++i) readable[i] = n > 0 && FD_ISSET(toSocket(sockets[i]), &ready);
    return n == SOCKET_ERROR ? -1 : n;
}

void lastSocketError(char* out, size_t size) {
    if (out == nullptr || size == 0) return;
    const DWORD code = static_cast<DWORD>(WSAGetLastError());
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                             out, static_cast<DWORD>(size > 0xFFFF ? 0xFFFF : size), nullptr);
    if (n == 0) {
        std::snprintf(out, size, "error %lu", static_cast<unsigned long>(code));
        return;
    }
    // The system's text ends in a line break; the caller adds its own.
    while (n > 0 && (out[n - 1] == '\n' || out[n - 1] == '\r' || out[n - 1] == ' ')) out[--n] = '\0';
}

} // namespace zentro::platform
