// The only place that knows Windows from Linux. Every other folder reaches processes, files,
// folders and the debugger through these functions; posix/ and win32/ hold the two bodies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace zentro::platform {

#ifdef _WIN32
constexpr bool kIsWindows = true;
constexpr char kPathSeparator = '\\';
constexpr const char* kAdbProgram = "adb.exe";
#else
constexpr bool kIsWindows = false;
constexpr char kPathSeparator = '/';
constexpr const char* kAdbProgram = "adb";
#endif

// ---- processes --------------------------------------------------------------------------

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

// ---- folders and files ------------------------------------------------------------------

// Folder of the running executable, without a trailing separator.
std::string executableFolder();

// Where the host's helper programs lie: the executable's folder.
std::string hostFolder();

// The temporary folder, always ending in a separator.
std::string tempPath();
std::string systemTempPath(); // what the system says, before any test replaced it

// Sets an environment variable of this process (children inherit it).
bool setEnv(const char* name, const char* value);

// Creates one folder; an existing one is no error.
bool createFolder(const char* path);

// Creates a folder that only this user can change (mode 0700 on POSIX), or takes the one already
// there, and then checks it with isPrivateFolder. False, with the reason in `why`, when the
// folder could not be made or is not private: callers must not put files in it.
bool createPrivateFolder(const char* path, std::string& why);

// Whether `path` (a trailing separator is ignored) is a real folder, not a symbolic link or
// other redirection, owned by this user and writable by no one else. `why` gets the reason.
bool isPrivateFolder(const char* path, std::string& why);

// Deletes a folder with everything in it. 0 on success (or nothing there), else non-zero.
int removeTree(const char* path);

// The user's documents folder, created if missing; empty when it cannot be had.
std::string documentsFolder();

bool deleteFile(const char* path);

// Length of an open file in bytes (64-bit on every build); the position goes back to the start.
// -1 when it cannot be told.
int64_t fileLength(std::FILE* file);

// A file opened afresh for the diagnostic log (shared for reading, writing and deleting).
intptr_t createLogFile(const char* path); // 0 on failure
bool writeLogFile(intptr_t file, const char* data, size_t size);

// ---- diagnostics and process set-up -------------------------------------------------------

// The debugger output: OutputDebugString on Windows; standard error while a debugger is
// attached on Linux.
void debuggerOutput(const char* text);

void sleepMs(int milliseconds);

// Local calendar time of `time`, thread-safe.
void localTime(std::time_t time, std::tm& out);

} // namespace zentro::platform
