// Child processes: starting, waiting, releasing, and the command lines of the adb client and
// the host's other programs. posix/process.cpp and win32/process.cpp hold the two bodies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zentro::platform {

#ifdef _WIN32
constexpr bool kIsWindows = true;
constexpr const char* kAdbProgram = "adb.exe";
#else
constexpr bool kIsWindows = false;
constexpr const char* kAdbProgram = "adb";
#endif

// A started child. `handle` is a process handle on Windows, a pid on POSIX; 0 means none.
struct Process {
    intptr_t handle = 0;
    bool ended = false; // set once a wait saw it end (on POSIX: reaped)
};

enum class WaitResult { Ended, TimedOut, Failed };

// Starts a child from a command line written by the Windows rules (blanks separate, double
// quotes group, backslashes escape only before a quote). No console; current folder
// `currentDir`; standard output into `stdoutPath` when given (on POSIX a new file of mode 0600:
// an existing file or a link at that path makes the start fail); every other standard handle
// is nothing (/dev/null on POSIX). Returns false when the child could not be started.
bool startProcess(const char* commandLine, const char* currentDir, const char* stdoutPath, Process& out);

// Waits at most `timeoutMs` (negative: without limit).
WaitResult waitProcess(Process& process, int timeoutMs);

// Gives the handle up. A child that is still running goes on; it is reaped when it ends and
// never left behind as a zombie.
void releaseProcess(Process& process);

// Starts a complete command line without waiting and without handle inheritance.
bool launchDetached(const char* commandLine);

// Writes into `out` (capacity `size`, always terminated, cut when longer) the command line
// that runs `<folder>/<program> <args>` through the command interpreter.
void formatToolCommandLine(char* out, size_t size, const char* folder, const char* program,
                           const char* argsOrNull);

// Writes the command line of the adb client in `folder` followed by `args` (cut to fit).
void formatAdbCommandLine(char* out, size_t size, const char* folder, const char* args);

// The command line of "end the adb server" used at shut-down (taskkill on Windows,
// "<host>/adb kill-server" on POSIX), and of the mobile-device service (empty on POSIX).
std::string killAdbCommandLine(const std::string& hostFolder);
std::string killDeviceServiceCommandLine();

// Sets an environment variable of this process (children inherit it).
bool setEnv(const char* name, const char* value);

} // namespace zentro::platform
