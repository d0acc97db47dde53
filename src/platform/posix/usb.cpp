// Linux: present USB devices from sysfs, device changes from the kernel's uevent socket.
#include <linux/netlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/usb.h"
#ifdef ZENTRO_TESTING
#include "platform/test_seams.h"
#endif

namespace zentro::platform {
namespace {

constexpr const char* kDefaultSysfsRoot = "/sys";
constexpr int kKernelGroup = 1;                 // kernel uevents; group 2 is udev's re-broadcast
constexpr int kReceiveBufferBytes = 256 * 1024; // a hub plugged in sends a burst
constexpr size_t kMessageBytes = 8192;          // a uevent is at most a few KiB

std::mutex g_rootMutex;
std::string g_sysfsRoot = kDefaultSysfsRoot;

std::atomic<int> g_sourceCount{0};

#ifdef ZENTRO_TESTING
// Injection: a datagram pair whose reading end the loop polls beside the netlink socket.
constexpr auto kInjectWait = std::chrono::seconds(10);
std::mutex g_injectMutex; // one injection at a time
std::mutex g_handledMutex;
std::condition_variable g_handledChanged;
unsigned long long g_injectedHandled = 0;
std::atomic<int> g_injectWriteFd{-1};
#endif

void readKernel(int fd, DeviceChangeHandler handler) {
    char buffer[kMessageBytes];
    sockaddr_nl sender{};
    iovec iov{buffer, sizeof buffer};
    msghdr msg{};
    msg.msg_name = &sender;
    msg.msg_namelen = sizeof sender;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    ssize_t n = recvmsg(fd, &msg, MSG_DONTWAIT);
    if (n <= 0) return; // ENOBUFS after a burst: the next change brings a fresh enumeration
    // A sender address we were not given cannot be the kernel's.
    const uint32_t senderPort = msg.msg_namelen >= sizeof sender ? sender.nl_pid : UINT32_MAX;
    DeviceChange change =
        acceptKernelUevent(senderPort, (msg.msg_flags & MSG_TRUNC) != 0, buffer, static_cast<size_t>(n));
    if (change != DeviceChange::None) handler(change);
}

#ifdef ZENTRO_TESTING
void readInjected(int fd, DeviceChangeHandler handler) {
    char buffer[kMessageBytes];
    ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0) return;
    DeviceChange change = classifyUevent(buffer, static_cast<size_t>(n));
    if (change != DeviceChange::None) handler(change);
    std::lock_guard<std::mutex> lock(g_handledMutex);
    ++g_injectedHandled;
    g_handledChanged.notify_all();
}
#endif

int openUeventSocket() {
    int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
    if (fd < 0) return -1;
    int size = kReceiveBufferBytes;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = kKernelGroup;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

bool listDeviceInstanceIds(std::vector<std::string>& out) {
    std::string root;
    {
        std::lock_guard<std::mutex> lock(g_rootMutex);
        root = g_sysfsRoot;
    }
    out = instanceIdsFromSysfs(root);
    return true;
}

#ifdef ZENTRO_TESTING
void setSysfsRootForTests(const std::string& root) {
    std::lock_guard<std::mutex> lock(g_rootMutex);
    g_sysfsRoot = root.empty() ? kDefaultSysfsRoot : root;
}

bool deviceIdsComeFromSysfs() { return true; }
#endif

int runDeviceChangeLoop(DeviceChangeHandler handler) {
    if (handler == nullptr) return -1;
    int kernel = openUeventSocket();
    if (kernel < 0) return -1;
#ifdef ZENTRO_TESTING
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, pair) != 0) {
        close(kernel);
        return -1;
    }
    g_injectWriteFd.store(pair[1]);
    pollfd fds[] = {{kernel, POLLIN, 0}, {pair[0], POLLIN, 0}};
#else
    pollfd fds[] = {{kernel, POLLIN, 0}};
#endif
    ++g_sourceCount;

    for (;;) {
        int ready = poll(fds, sizeof fds / sizeof fds[0], -1);
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if ((fds[0].revents & POLLIN) != 0) readKernel(kernel, handler);
#ifdef ZENTRO_TESTING
        if ((fds[1].revents & POLLIN) != 0) readInjected(pair[0], handler);
#endif
    }

    --g_sourceCount;
#ifdef ZENTRO_TESTING
    g_injectWriteFd.store(-1);
    close(pair[1]);
    close(pair[0]);
#endif
    close(kernel);
    return -1;
}

#ifdef ZENTRO_TESTING
bool injectUeventForTests(const std::string& raw) {
    std::lock_guard<std::mutex> serial(g_injectMutex);
    int fd = g_injectWriteFd.load();
    if (fd < 0 || raw.size() > kMessageBytes) return false;
    unsigned long long before;
    {
        std::lock_guard<std::mutex> lock(g_handledMutex);
        before = g_injectedHandled;
    }
    if (send(fd, raw.data(), raw.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(raw.size())) {
        return false;
    }
    std::unique_lock<std::mutex> lock(g_handledMutex);
    return g_handledChanged.wait_for(lock, kInjectWait, [&] { return g_injectedHandled > before; });
}
#endif

int deviceChangeSourceCount() { return g_sourceCount.load(); }

} // namespace zentro::platform
