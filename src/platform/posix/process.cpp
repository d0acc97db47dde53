// Child processes on POSIX: posix_spawn with file actions; waits with a pidfd where the kernel
// offers one (polling otherwise, e.g. under qemu user-mode emulation). No signal handler.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/command_line.h"
#include "platform/files.h"
#include "platform/process.h"

extern char** environ;

namespace zentro::platform {
namespace {

// A child we no longer wait for is reaped by a thread of its own when it ends, so it never
// lingers as a zombie and the library needs no SIGCHLD handler.
void reapLater(pid_t pid) {
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    }).detach();
}

bool spawn(const std::vector<std::string>& args, const char* currentDir, const char* stdoutPath,
           bool newSession, pid_t& pidOut) {
    if (args.empty()) return false;
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (stdoutPath != nullptr) {
        // A fresh file of our own: never through a link, never one someone else put there first.
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutPath,
                                         O_WRONLY | O_CREAT | O_EXCL | O_TRUNC | O_NOFOLLOW, 0600);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (currentDir != nullptr && currentDir[0] != '\0') {
        posix_spawn_file_actions_addchdir_np(&actions, currentDir);
    }

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    if (newSession) posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);

    // Checked first because some emulators cannot report a failed exec through posix_spawn.
    if (args[0].find('/') != std::string::npos && access(argv[0], X_OK) != 0) {
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&actions);
        return false;
    }
    pid_t pid = 0;
    int rc = args[0].find('/') != std::string::npos
                 ? posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ)
                 : posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    pidOut = pid;
    return true;
}

// Reaps the child if it has ended. True when it has (or cannot be waited for any more).
bool reapIfEnded(pid_t pid) {
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    return r == pid || (r < 0 && errno == ECHILD);
}

int openPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

} // namespace

bool startProcess(const char* commandLine, const char* currentDir, const char* stdoutPath, Process& out) {
    out = Process{};
    if (commandLine == nullptr) return false;
    pid_t pid = 0;
    if (!spawn(splitWindowsCommandLine(commandLine), currentDir, stdoutPath, false, pid)) return false;
    out.handle = pid;
    return true;
}

WaitResult waitProcess(Process& process, int timeoutMs) {
    if (process.handle <= 0) return WaitResult::Failed;
    if (process.ended) return WaitResult::Ended;
    const pid_t pid = static_cast<pid_t>(process.handle);
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);

    int pidfd = openPidfd(pid);
    if (pidfd >= 0) {
        for (;;) {
            int waitMs = -1;
            if (timeoutMs >= 0) {
                auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
                waitMs = left < 0 ? 0 : static_cast<int>(left);
            }
            pollfd p{pidfd, POLLIN, 0};
            int r = poll(&p, 1, waitMs);
            if (r < 0 && errno == EINTR) continue;
            if (r > 0) break;
            if (r == 0) {
                close(pidfd);
                return WaitResult::TimedOut;
            }
            close(pidfd);
            return WaitResult::Failed;
        }
        close(pidfd);
        reapIfEnded(pid);
        process.ended = true;
        return WaitResult::Ended;
    }

    int sleepMsStep = 1;
    for (;;) {
        if (reapIfEnded(pid)) {
            process.ended = true;
            return WaitResult::Ended;
        }
        if (timeoutMs >= 0 && Clock::now() >= deadline) return WaitResult::TimedOut;
        std::this_thread::sleep_for(std::chrono::milliseconds(sleepMsStep));
        if (sleepMsStep < 10) ++sleepMsStep;
    }
}

void releaseProcess(Process& process) {
    if (process.handle > 0 && !process.ended) {
        const pid_t pid = static_cast<pid_t>(process.handle);
        if (!reapIfEnded(pid)) reapLater(pid);
    }
    process = Process{};
}

bool launchDetached(const char* commandLine) {
    if (commandLine == nullptr) return false;
    pid_t pid = 0;
    if (!spawn(splitWindowsCommandLine(commandLine), nullptr, nullptr, true, pid)) return false;
    reapLater(pid);
    return true;
}

void formatToolCommandLine(char* out, size_t size, const char* folder, const char* program,
                           const char* argsOrNull) {
    // The interpreter gets the quoted program path and the arguments as one script text. Single
    // quotes, so that nothing in the folder's name ($, `, ", \) means anything to the shell.
    std::string script = "'";
    for (char c : std::string(folder) + "/" + program) {
        if (c == '\'') {
            script += "'\\''";
        } else {
            script += c;
        }
    }
    script += "' ";
    if (argsOrNull != nullptr) script += argsOrNull;
    std::string line = "/bin/sh -c " + quoteWindowsArgument(script);
    snprintf(out, size, "%s", line.c_str());
}

void formatAdbCommandLine(char* out, size_t size, const char* folder, const char* args) {
    snprintf(out, size, "\"%s/%s\" %s", folder, kAdbProgram, args != nullptr ? args : "");
}

std::string killAdbCommandLine(const std::string& hostFolder) {
    return "\"" + hostFolder + "/" + kAdbProgram + "\" kill-server";
}

std::string killDeviceServiceCommandLine() { return std::string(); }

bool setEnv(const char* name, const char* value) {
    return name != nullptr && value != nullptr && ::setenv(name, value, 1) == 0;
}

} // namespace zentro::platform
