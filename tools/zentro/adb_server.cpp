#include "adb_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "interrupt.h"

namespace zentro::cli {
namespace {

class Connection {
public:
    explicit Connection(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd_ < 0) return;
        timeval timeout{2, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~Connection() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool connected() const { return fd_ >= 0; }

    // Sends one request and reads "OKAY" plus a length-prefixed body.
    bool request(const std::string& service, std::string& body) {
        char header[5];
        std::snprintf(header, sizeof header, "%04x", static_cast<unsigned>(service.size()));
        std::string message = header + service;
        if (::send(fd_, message.data(), message.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(message.size()))
            return false;
        std::string status, length;
        if (!readExact(4, status) || status != "OKAY" || !readExact(4, length)) return false;
        char* end = nullptr;
        long size = std::strtol(length.c_str(), &end, 16);
        if (end != length.c_str() + 4 || size < 0) return false;
        return readExact(static_cast<size_t>(size), body);
    }

private:
    bool readExact(size_t size, std::string& out) {
        out.assign(size, '\0');
        size_t got = 0;
        while (got < size) {
            ssize_t n = ::recv(fd_, out.data() + got, size - got, 0);
            if (n <= 0) return false;
            got += static_cast<size_t>(n);
        }
        return true;
    }

    int fd_ = -1;
};

} // namespace

int adbServerPort() {
    const char* text = std::getenv("ANDROID_ADB_SERVER_PORT");
    if (text == nullptr || text[0] == '\0') return 5037;
    int port = std::atoi(text);
    return port > 0 && port < 65536 ? port : 5037;
}

std::vector<AdbDevice> parseDeviceLines(const std::string& body) {
    std::vector<AdbDevice> devices;
    size_t start = 0;
    while (start < body.size()) {
        size_t end = body.find('\n', start);
        if (end == std::string::npos) end = body.size();
        std::string line = body.substr(start, end - start);
        size_t tab = line.find('\t');
        if (tab != std::string::npos && tab > 0)
            devices.push_back({line.substr(0, tab), line.substr(tab + 1)});
        start = end + 1;
    }
    return devices;
}

AdbServerView queryAdbServer() {
    AdbServerView view;
    const int port = adbServerPort();
    std::string body;
    {
        Connection connection(port);
        if (!connection.connected()) return view;
        view.running = true;
        if (connection.request("host:version", body))
            view.version = static_cast<int>(std::strtol(body.c_str(), nullptr, 16));
    }
    Connection connection(port);
    if (connection.connected() && connection.request("host:devices", body))
        view.devices = parseDeviceLines(body);
    return view;
}

bool listForwards(std::vector<AdbForward>& forwards) {
    forwards.clear();
    Connection connection(adbServerPort());
    std::string body;
    if (!connection.connected() || !connection.request("host:list-forward", body)) return false;
    size_t start = 0;
    while (start < body.size()) {
        size_t end = body.find('\n', start);
        if (end == std::string::npos) end = body.size();
        const std::string line = body.substr(start, end - start);
        const size_t first = line.find(' '), second = line.find(' ', first + 1);
        if (first != std::string::npos && second != std::string::npos)
            forwards.push_back(
                {line.substr(0, first), line.substr(first + 1, second - first - 1), line.substr(second + 1)});
        start = end + 1;
    }
    return true;
}

std::string programFolder() {
    char path[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = '\0';
    std::string text(path);
    size_t slash = text.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : text.substr(0, slash);
}

int runAdbClient(const std::vector<std::string>& args, std::string& output) {
    const std::string program = programFolder() + "/adb";
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return -1;
    }
    if (pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::dup2(pipeFds[1], 2);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    // Ctrl-C reaches adb as well (same process group), which then ends and closes the pipe.
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) output.append(buffer, static_cast<size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    if (interrupted()) return 130;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int adbClientVersion() {
    std::string command = "'" + programFolder() + "/adb' version 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return 0;
    char line[256];
    int version = 0;
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        int major = 0, minor = 0, patch = 0;
        if (std::sscanf(line, "Android Debug Bridge version %d.%d.%d", &major, &minor, &patch) == 3)
            version = patch;
    }
    ::pclose(pipe);
    return version;
}

} // namespace zentro::cli
