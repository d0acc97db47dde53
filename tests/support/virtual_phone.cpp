#include "virtual_phone.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "adb/io.h"
#include "control.h"

extern char** environ;

namespace ztest {

namespace {

constexpr int kReadyTimeoutMs = 10000;
constexpr int kControlTimeoutS = 10;

std::vector<std::string> splitBlanks(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string word; in >> word;) out.push_back(word);
    return out;
}

// The listing commands answer lines and then "end"; the others one line.
bool multiLine(const std::string& line) {
    std::string word = line.substr(0, line.find(' '));
    return word == "devices" || word == "forwards" || word == "log";
}

// zentro-phone lies beside the test program; this fixture needs nothing of the library.
std::string phoneFolder() {
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string exe(path, static_cast<size_t>(n));
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? "." : exe.substr(0, slash);
}

} // namespace

VirtualPhone::VirtualPhone(const std::string& scenarioJson, const std::string& extraArgs) {
    std::vector<std::string> args = {
        phoneFolder() + "/zentro-phone", "--adb-port", "0", "--devices", "2", "--seed", "7"};
    if (!scenarioJson.empty()) {
        char name[] = "/tmp/zentro-phone-scenario-XXXXXX.json";
        int fd = ::mkstemps(name, 5);
        if (fd < 0) throw std::runtime_error("cannot write the scenario file");
        scenarioPath_ = name;
        bool written = ::write(fd, scenarioJson.data(), scenarioJson.size()) ==
                       static_cast<ssize_t>(scenarioJson.size());
        ::close(fd);
        if (!written) throw std::runtime_error("cannot write the scenario file");
        args.push_back("--scenario");
        args.push_back(scenarioPath_);
    }
    for (auto& word : splitBlanks(extraArgs)) args.push_back(word);

    // Close-on-exec pipes, so adb children the test starts later do not hold the phone's
    // standard input open.
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    stdinFd_ = in[1];
    if (rc != 0) {
        pid_ = -1;
        ::close(out[0]);
        ADD_FAILURE() << "cannot start " << args[0] << ": " << std::strerror(rc);
        throw std::runtime_error("zentro-phone did not start");
    }

    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadyTimeoutMs);
    while (line.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char c;
        if (::read(out[0], &c, 1) != 1) break;
        line += c;
    }
    ::close(out[0]);
    if (std::sscanf(line.c_str(), "ready adb-port=%d control-port=%d", &adbPort_, &controlPort_) != 2) {
        ADD_FAILURE() << "zentro-phone gave no ready line within 10 s (got \"" << line << "\")";
        shutdown();
        throw std::runtime_error("zentro-phone is not ready");
    }
}

VirtualPhone::~VirtualPhone() { shutdown(); }

void VirtualPhone::shutdown() {
    if (controlFd_ >= 0) ::close(controlFd_);
    controlFd_ = -1;
    if (stdinFd_ >= 0) ::close(stdinFd_);
    stdinFd_ = -1;
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {}
    }
    pid_ = -1;
    if (!scenarioPath_.empty()) ::unlink(scenarioPath_.c_str());
    scenarioPath_.clear();
}

int VirtualPhone::adbPort() const { return adbPort_; }

void VirtualPhone::exportAdbPort() const {
    ::setenv("ANDROID_ADB_SERVER_PORT", std::to_string(adbPort_).c_str(), 1);
}

std::string VirtualPhone::control(const std::string& line) {
    std::lock_guard lock(controlMutex_);
    if (controlFd_ < 0) {
        controlFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval tv{kControlTimeoutS, 0};
        ::setsockopt(controlFd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(controlPort_));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(controlFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(controlFd_);
            controlFd_ = -1;
            ADD_FAILURE() << "cannot reach the control port " << controlPort_;
            return "error no control connection";
        }
    }
    if (!zsim::adb::writeAll(controlFd_, line + "\n")) {
        ADD_FAILURE() << "control command not sent: " << line;
        return "error not sent";
    }
    const bool listing = multiLine(line);
    std::string reply, current;
    for (;;) {
        char c;
        ssize_t got = ::recv(controlFd_, &c, 1, 0);
        if (got != 1) {
            ADD_FAILURE() << "no complete reply to control command: " << line;
            ::close(controlFd_);
            controlFd_ = -1;
            return reply;
        }
        if (c != '\n') {
            current += c;
            continue;
        }
        if (!listing) return current;
        if (current == "end") return reply.empty() ? reply : reply.substr(0, reply.size() - 1);
        reply += current + "\n";
        current.clear();
    }
}

std::vector<std::string> VirtualPhone::requestLog(const std::string& serial) {
    std::string text = control("log " + serial);
    std::vector<std::string> entries;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("error ", 0) == 0) {
            ADD_FAILURE() << "log " << serial << ": " << line;
            return {};
        }
        entries.push_back(zsim::unescapeLogEntry(line));
    }
    return entries;
}

void VirtualPhone::clearRequestLog(const std::string& serial) {
    EXPECT_EQ(control("clearlog " + serial), "ok");
}

void VirtualPhone::setState(const std::string& serial, const std::string& state) {
    EXPECT_EQ(control("state " + serial + " " + state), "ok");
}

} // namespace ztest
