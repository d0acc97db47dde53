// What the phone's tests share: byte readers, loopback sockets bounded in time, the
// companion's reply framing, and a PNG check that decodes the file as a viewer would.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>

namespace simtest {

inline uint32_t le32(const std::string& s, size_t at = 0) {
    uint32_t v = 0;
    for (size_t i = 4; i-- > 0;) v = v << 8 | static_cast<unsigned char>(s.at(at + i));
    return v;
}

inline uint32_t be32(const std::string& s, size_t at = 0) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(s.at(at + i));
    return v;
}

// A TCP connection to address:port with reads bounded to 10 s, or -1 when refused.
inline int connectTcp(int port, const char* address = "127.0.0.1") {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, address, &addr.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
    ::close(fd);
    return -1;
}

// Up to `n` bytes (default: until the peer closes), waiting at most `ms` for each read, so a
// broken peer fails the test instead of hanging it.
inline std::string readUpTo(int fd, size_t n = SIZE_MAX, int ms = 5000) {
    std::string out;
    while (out.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, ms) != 1) break;
        char buffer[65536];
        const ssize_t got = ::recv(fd, buffer, std::min(sizeof buffer, n - out.size()), 0);
        if (got <= 0) break;
        out.append(buffer, static_cast<size_t>(got));
    }
    return out;
}

// True when the peer closes within `ms` with nothing left unread.
inline bool closedByPeer(int fd, int ms = 5000) {
    pollfd p{fd, POLLIN, 0};
    char c;
    return ::poll(&p, 1, ms) == 1 && ::recv(fd, &c, 1, MSG_PEEK) == 0;
}

// One companion exchange: the reply body behind its 4-byte length, or nothing when the
// framing broke.
inline std::optional<std::string> roundTrip(int fd, const std::string& command,
                                            const std::string& payload = {}) {
    const std::string bytes = command + payload;
    if (::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size())) return {};
    const std::string head = readUpTo(fd, 4);
    if (head.size() != 4 || static_cast<int32_t>(le32(head)) < 0) return {};
    std::string body = readUpTo(fd, le32(head));
    if (body.size() != le32(head)) return {};
    return body;
}

// Signature, chunk CRCs, an 8-bit RGB header of the given size (0: any) and picture data that
// inflates to exactly its rows.
inline ::testing::AssertionResult isValidPng(const std::string& png, uint32_t width = 0,
                                             uint32_t height = 0) {
    if (png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
        return ::testing::AssertionFailure() << "no PNG signature";
    std::string header, idat;
    size_t at = 8;
    bool ended = false;
    while (!ended && at + 12 <= png.size()) {
        const uint32_t length = be32(png, at);
        if (at + 12 + length > png.size()) return ::testing::AssertionFailure() << "chunk past the end";
        const std::string chunk = png.substr(at + 4, 4 + length), type = chunk.substr(0, 4);
        const uLong crc =
            ::crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(chunk.size()));
        if (crc != be32(png, at + 8 + length)) return ::testing::AssertionFailure() << "bad CRC in " << type;
        if (type == "IHDR") header = chunk.substr(4);
        if (type == "IDAT") idat += chunk.substr(4);
        ended = type == "IEND";
        at += 12 + length;
    }
    if (!ended || at != png.size()) return ::testing::AssertionFailure() << "no clean IEND";
    if (header.size() != 13 || header.compare(8, 5, std::string("\x08\x02\0\0\0", 5)) != 0)
        return ::testing::AssertionFailure() << "not an 8-bit RGB header";
    const uint32_t w = be32(header, 0), h = be32(header, 4);
    if ((width && w != width) || (height && h != height))
        return ::testing::AssertionFailure() << w << "x" << h;
    std::string raw(size_t{h} * (1 + 3 * size_t{w}), '\0');
    uLongf rawSize = raw.size();
    if (::uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawSize,
                     reinterpret_cast<const Bytef*>(idat.data()), idat.size()) != Z_OK ||
        rawSize != raw.size())
        return ::testing::AssertionFailure() << "picture data does not inflate to " << raw.size() << " bytes";
    return ::testing::AssertionSuccess();
}

} // namespace simtest
