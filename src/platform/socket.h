// TCP sockets for the command channel (a client) and for loopback servers. One interface, a
// POSIX and a Win32 body. A socket handle is an integer; 0 means "no socket" (a POSIX socket
// that would get descriptor 0 is moved to another descriptor first).
#pragma once

#include <cstddef>
#include <cstdint>

namespace zentro::platform {

using SocketHandle = intptr_t;

// Options of a client connection. The defaults are the ones every channel runs with; tests
// shorten the time-outs.
struct ClientOptions {
    int receiveTimeoutMs = 40000;
    int sendTimeoutMs = 30000; // also bounds the connect
    int sendBufferSize = 10240;
    int receiveBufferSize = 10240;
};

// Starts the system's socket library for one user (Winsock 1.1 on Windows; nothing on POSIX).
// Each successful start is paired with one release.
bool socketLibraryStart();
void socketLibraryRelease();

// Connects to a dotted IPv4 address and port with the options above and Nagle's algorithm off.
// The socket is not inherited by child processes. Returns 0 on failure.
// POSIX keeps the kernel's own buffers: with a 10,240-byte send buffer every 100 KiB upload
// chunk waits for the phone's delayed acknowledgement (measured on Linux loopback: 16 MiB took
// 7.4 s instead of 13 ms), and a 10,240-byte receive buffer shrinks the window so that each
// 10 KiB download chunk arrives in several pieces (music and video downloads ran 1.18x and
// 1.38x slower than a client with default buffers). Windows keeps the 10,240 bytes: its stack
// sends a blocking send larger than the buffer straight from the caller's memory instead of
// waiting for room in it.
SocketHandle tcpConnect(const char* host, uint16_t port, const ClientOptions& options);

// Sends `first` and then `second` (may be null/0) back to back without a stall between them,
// looping over partial sends. Returns the number of bytes sent (possibly fewer after an error
// or a time-out) or -1 when nothing could be sent. Never raises SIGPIPE.
int64_t tcpSendPair(SocketHandle socket, const void* first, size_t firstSize, const void* second,
                    size_t secondSize);

// One receive call: bytes received (> 0), 0 when the peer closed its side, -1 on error or
// time-out. Interrupted calls are repeated.
int tcpReceive(SocketHandle socket, void* buffer, size_t size);

void tcpClose(SocketHandle socket);

// ---- loopback servers ---------------------------------------------------------------------

// Listens on host:port (port 0: an ephemeral one); 0 on failure.
SocketHandle tcpListen(const char* host, uint16_t port, int backlog);

// Waits at most `timeoutMs` (negative: without limit) for a connection; 0 on time-out/failure.
SocketHandle tcpAccept(SocketHandle listener, int timeoutMs);

// The local port a socket is bound to; 0 when unknown.
uint16_t tcpLocalPort(SocketHandle socket);

// Waits at most `timeoutMs` (negative: without limit) until a receive would not block (data,
// the peer's close or an error). False on time-out.
bool tcpWaitReadable(SocketHandle socket, int timeoutMs);

// ---- a server reached from other machines --------------------------------------------

// The first IPv4 address the machine's host name resolves to, in dotted text. False when the
// host name cannot be had or resolves to no IPv4 address.
bool hostIpv4Address(char* out, size_t size);

// The steps of a server one by one, so that each failure can be told apart. A new TCP stream
// socket, 0 on failure; bind to a dotted IPv4 address and port; listen.
SocketHandle tcpSocket();
bool tcpBind(SocketHandle socket, const char* host, uint16_t port);
bool tcpStartListening(SocketHandle socket, int backlog);

// Accepts a connection the caller knows to be waiting; writes the peer's dotted address into
// `peer` (bounded by `size`). 0 on failure.
SocketHandle tcpAcceptPeer(SocketHandle listener, char* peer, size_t size);

// Waits at most `timeoutMs` (negative: without limit) until one of `count` sockets would not
// block on a receive or an accept; sets `readable[i]` for each such socket. The number of
// readable sockets, 0 on time-out, -1 when the wait itself failed.
int tcpWaitAnyReadable(const SocketHandle* sockets, bool* readable, size_t count, int timeoutMs);

// The system's text for the last socket error of this thread.
void lastSocketError(char* out, size_t size);

} // namespace zentro::platform
