// A loopback TCP server with a thread per connection: the adb server and the control port
// share it. stop() closes the listener, shuts every tracked connection down and returns only
// once every connection thread has ended, so nothing still uses the owner afterwards.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace zsim::adb {

// The stop flag and the sockets stop() shuts down. Threads the server does not wait for (the
// connections a forward brings) hold this, never the server object.
class ConnectionSet {
public:
    // Tracks fd so stop() shuts it down; false once stopping (the caller then closes it).
    bool track(int fd);
    void untrack(int fd);
    // Sleeps up to `ms`; false when the server stops meanwhile.
    bool pause(int ms);
    bool stopping();

private:
    friend class TcpServer;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::set<int> fds_;
    int threads_ = 0; // connection threads stop() waits for
    bool stopping_ = false;
};

// The next connection on listenFd, or -1 once the listener is shut down. Interrupted and
// aborted accepts are retried; out of descriptors or memory, it waits 100 ms and tries again
// unless the server stops meanwhile.
int acceptConnection(int listenFd, ConnectionSet& connections);

class TcpServer {
public:
    using Handler = std::function<void(int fd)>;

    TcpServer();
    ~TcpServer();
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    // Listens on 127.0.0.1:port (0: ephemeral) and runs onConnection(fd) on a thread of its own
    // for every connection; the server closes fd afterwards. The bound port, or -1 with `error`.
    int start(int port, Handler onConnection, std::string* error = nullptr);
    // Idempotent; a stopped server does not start again.
    void stop();
    int port() const { return port_; }
    const std::shared_ptr<ConnectionSet>& connections() const { return connections_; }

private:
    void acceptLoop();

    std::shared_ptr<ConnectionSet> connections_;
    Handler onConnection_;
    int listenFd_ = -1;
    int port_ = -1;
    std::thread acceptThread_;
};

} // namespace zsim::adb
