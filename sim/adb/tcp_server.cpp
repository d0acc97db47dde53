#include "adb/tcp_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>

#include "adb/io.h"

namespace zsim::adb {

bool ConnectionSet::track(int fd) {
    std::lock_guard lock(mutex_);
    if (stopping_) return false;
    fds_.insert(fd);
    return true;
}

void ConnectionSet::untrack(int fd) {
    std::lock_guard lock(mutex_);
    fds_.erase(fd);
}

bool ConnectionSet::pause(int ms) {
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping_; });
}

bool ConnectionSet::stopping() {
    std::lock_guard lock(mutex_);
    return stopping_;
}

int acceptConnection(int listenFd, ConnectionSet& connections) {
    for (;;) {
        int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            // Requests and answers go out as written: a held back tail would wait on the
            // client's delayed acknowledgement, some 40 ms a transfer that no USB link has.
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return fd;
        }
        if (errno == EINTR || errno == ECONNABORTED) continue;
        const bool exhausted = errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM;
        if (exhausted && connections.pause(100)) continue;
        return -1;
    }
}

TcpServer::TcpServer()
    : connections_(std::make_shared<ConnectionSet>()) {}

TcpServer::~TcpServer() { stop(); }

int TcpServer::start(int port, Handler onConnection, std::string* error) {
    if (listenFd_ >= 0 || connections_->stopping()) {
        if (error) *error = listenFd_ >= 0 ? "already started" : "stopped";
        return -1;
    }
    listenFd_ = listenTcp("127.0.0.1", port, error);
    if (listenFd_ < 0) return -1;
    port_ = localPort(listenFd_);
    onConnection_ = std::move(onConnection);
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return port_;
}

void TcpServer::stop() {
    ConnectionSet& set = *connections_;
    {
        std::lock_guard lock(set.mutex_);
        if (set.stopping_) return;
        set.stopping_ = true;
    }
    set.changed_.notify_all();
    if (listenFd_ >= 0) ::shutdown(listenFd_, SHUT_RDWR);
    if (acceptThread_.joinable()) acceptThread_.join();
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
    std::unique_lock lock(set.mutex_);
    for (int fd : set.fds_) ::shutdown(fd, SHUT_RDWR);
    set.changed_.wait(lock, [&] { return set.threads_ == 0; });
}

void TcpServer::acceptLoop() {
    auto set = connections_;
    auto leave = [set](int fd) {
        std::lock_guard lock(set->mutex_);
        set->fds_.erase(fd);
        ::close(fd);
        --set->threads_;
        set->changed_.notify_all();
    };
    for (;;) {
        const int fd = acceptConnection(listenFd_, *set);
        if (fd < 0) return;
        {
            std::lock_guard lock(set->mutex_);
            if (set->stopping_) {
                ::close(fd);
                return;
            }
            set->fds_.insert(fd);
            ++set->threads_;
        }
        try {
            // stop() waits for this thread, so the handler may use its owner until it returns.
            std::thread([this, leave, fd] {
                onConnection_(fd);
                leave(fd);
            }).detach();
        } catch (const std::system_error&) {
            leave(fd); // no thread to spare: this connection goes unanswered
        }
    }
}

} // namespace zsim::adb
