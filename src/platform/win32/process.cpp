// Child processes on Windows: CreateProcess without a console, standard output redirected into
// an inheritable file handle when asked, waits on the process handle.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/process.h"

namespace zentro::platform {
namespace {

bool create(const char* commandLine, const char* currentDir, HANDLE stdoutFile, bool inherit,
            PROCESS_INFORMATION& pi) {
    char line[1024];
    std::snprintf(line, sizeof line, "%s", commandLine);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_FORCEOFFFEEDBACK;
    if (stdoutFile != nullptr) {
        si.dwFlags |= STARTF_USESTDHANDLES;
        si.hStdOutput = stdoutFile;
        si.hStdInput = nullptr;
        si.hStdError = nullptr;
    }
    const char* dir = currentDir != nullptr && currentDir[0] != '\0' ? currentDir : nullptr;
    return CreateProcessA(nullptr, line, nullptr, nullptr, inherit ? TRUE : FALSE, CREATE_NO_WINDOW, nullptr,
                          dir, &si, &pi) != 0;
}

} // namespace

bool startProcess(const char* commandLine, const char* currentDir, const char* stdoutPath, Process& out) {
    out = Process{};
    if (commandLine == nullptr) return false;
    HANDLE file = nullptr;
    if (stdoutPath != nullptr) {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        file = CreateFileA(stdoutPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
    }
    PROCESS_INFORMATION pi{};
    bool started = create(commandLine, currentDir, file, true, pi);
    // The child holds its own copy of the output handle; ours is not needed past creation.
    if (file != nullptr) CloseHandle(file);
    if (!started) return false;
    CloseHandle(pi.hThread);
    out.handle = reinterpret_cast<intptr_t>(pi.hProcess);
    return true;
}

WaitResult waitProcess(Process& process, int timeoutMs) {
    if (process.handle == 0) return WaitResult::Failed;
    if (process.ended) return WaitResult::Ended;
    DWORD r = WaitForSingleObject(reinterpret_cast<HANDLE>(process.handle),
                                  timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    if (r == WAIT_OBJECT_0) {
        process.ended = true;
        return WaitResult::Ended;
    }
    return r == WAIT_TIMEOUT ? WaitResult::TimedOut : WaitResult::Failed;
}

void releaseProcess(Process& process) {
    if (process.handle != 0) CloseHandle(reinterpret_cast<HANDLE>(process.handle));
    process = Process{};
}

bool launchDetached(const char* commandLine) {
    if (commandLine == nullptr) return false;
    PROCESS_INFORMATION pi{};
    if (!create(commandLine, nullptr, nullptr, false, pi)) return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

void formatToolCommandLine(char* out, size_t size, const char* folder, const char* program,
                           const char* argsOrNull) {
    if (argsOrNull != nullptr) {
        std::snprintf(out, size, "cmd.exe /c \"%s\\%s\" %s", folder, program, argsOrNull);
    } else {
        std::snprintf(out, size, "cmd.exe /c \"%s\\%s\" ", folder, program);
    }
}

void formatAdbCommandLine(char* out, size_t size, const char* folder, const char* args) {
    std::snprintf(out, size, "\"%s\\%s\" %s", folder, kAdbProgram, args != nullptr ? args : "");
}

std::string killAdbCommandLine(const std::string&) { return "taskkill /f /t /im adb.exe"; }

std::string killDeviceServiceCommandLine() { return "taskkill /f /t /im AppleMobileDeviceService.exe"; }

bool setEnv(const char* name, const char* value) {
    return name != nullptr && value != nullptr && _putenv_s(name, value) == 0;
}

} // namespace zentro::platform
