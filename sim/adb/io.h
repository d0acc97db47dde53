// Small blocking socket helpers shared by the adb server, its forwards and the control port.
#pragma once

#include <string>
#include <string_view>

namespace zsim::adb {

// Reads exactly n bytes; false on end of stream or error.
bool readExact(int fd, void* buffer, size_t n);
// Writes everything (no SIGPIPE); false on error.
bool writeAll(int fd, std::string_view bytes);
// A listening TCP socket on address:port (port 0: ephemeral); -1 with `error` set on failure.
int listenTcp(const std::string& address, int port, std::string* error);
// The local port a socket is bound to, or -1.
int localPort(int fd);
// Ends our side, then reads and drops what the peer still sends (up to `waitMs` of quiet),
// so a reply written just before is not lost to a reset caused by unread input. Does not
// close fd.
void finishConnection(int fd, int waitMs = 500);
// True while the peer has not closed its side (checked without blocking).
bool peerStillOpen(int fd);

} // namespace zsim::adb
