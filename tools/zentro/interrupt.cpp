#include "interrupt.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>

namespace zentro::cli {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;
std::atomic<bool> g_phoneGone{false};
std::mutex g_goneMutex;
std::string g_goneSerial;

// Read by the handler: only async-signal-safe calls there, so the folder is removed by rm.
char g_hardExitFolder[4096] = {};

void onInterrupt(int) {
    if (g_interrupted == 0) {
        g_interrupted = 1;
        return;
    }
    if (g_hardExitFolder[0] != '\0') {
        const pid_t pid = ::fork();
        if (pid == 0) {
            char* const argv[] = {const_cast<char*>("rm"), const_cast<char*>("-rf"), g_hardExitFolder,
                                  nullptr};
            ::execv("/bin/rm", argv);
            ::_exit(127);
        }
        if (pid > 0) ::waitpid(pid, nullptr, 0);
    }
    ::_exit(130);
}

} // namespace

void watchInterrupts() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() { return g_interrupted != 0 || g_phoneGone.load(); }

void forgetInterrupt() { g_interrupted = 0; }

void phoneGone(const std::string& serial) {
    {
        std::lock_guard lock(g_goneMutex);
        if (!g_goneSerial.empty()) return;
        g_goneSerial = serial;
    }
    g_phoneGone = true;
}

std::string gonePhone() {
    std::lock_guard lock(g_goneMutex);
    return g_goneSerial;
}

void removeOnHardExit(const std::string& folder) {
    if (folder.size() >= sizeof g_hardExitFolder) return;
    std::memcpy(g_hardExitFolder, folder.c_str(), folder.size() + 1);
}

} // namespace zentro::cli
