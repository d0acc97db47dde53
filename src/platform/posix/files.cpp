// Folders, files, the debugger output and time on POSIX.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/log_output.h"
#include "platform/process.h"

namespace zentro::platform {
namespace {

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return home;
    if (passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
    return std::string();
}

} // namespace

std::string executableFolder() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = '\0';
    char* slash = std::strrchr(path, '/');
    if (slash == nullptr) return ".";
    if (slash == path) return "/";
    *slash = '\0';
    return path;
}

std::string systemTempPath() {
    std::string path;
    if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && tmp[0] != '\0')
        path = tmp;
    else
        path = "/tmp/";
    if (path.back() != '/') path.push_back('/');
    return path;
}

bool createFolder(const char* path) {
    if (path == nullptr) return false;
    return mkdir(path, 0755) == 0 || errno == EEXIST;
}

bool isPrivateFolder(const char* path, std::string& why) {
    why.clear();
    if (path == nullptr || path[0] == '\0') {
        why = "no path";
        return false;
    }
    // "link/" would make lstat follow the link.
    std::string bare(path);
    while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
    struct stat info {};
    if (lstat(bare.c_str(), &info) != 0) {
        why = std::string("cannot be examined: ") + std::strerror(errno);
    } else if (S_ISLNK(info.st_mode)) {
        why = "is a symbolic link";
    } else if (!S_ISDIR(info.st_mode)) {
        why = "is not a folder";
    } else if (info.st_uid != geteuid()) {
        why = "is owned by user " + std::to_string(info.st_uid);
    } else if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        why = "is writable by other users";
    }
    return why.empty();
}

bool createPrivateFolder(const char* path, std::string& why) {
    if (path == nullptr) {
        why = "no path";
        return false;
    }
    if (mkdir(path, 0700) != 0 && errno != EEXIST) {
        why = std::string("cannot be created: ") + std::strerror(errno);
        return false;
    }
    // Whoever won a race for the name, what stands there now is what gets checked.
    return isPrivateFolder(path, why);
}

int removeTree(const char* path) {
    if (path == nullptr) return -1;
    // Another user's folder in a shared temporary folder is not ours to walk: its contents can
    // change under the walk. A link at the name is removed, never followed.
    struct stat info {};
    if (lstat(path, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid != geteuid()) return EPERM;
    std::error_code error;
    std::filesystem::remove_all(path, error);
    return error ? (error.value() != 0 ? error.value() : -1) : 0;
}

std::string documentsFolder() {
    std::string folder;
    if (const char* docs = std::getenv("XDG_DOCUMENTS_DIR"); docs != nullptr && docs[0] != '\0') {
        folder = docs;
    } else {
        std::string home = homeFolder();
        if (home.empty()) return std::string();
        folder = home + "/Documents";
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error) ? folder : std::string();
}

bool deleteFile(const char* path) { return path != nullptr && unlink(path) == 0; }

int64_t fileLength(std::FILE* file) {
    if (file == nullptr || fseeko(file, 0, SEEK_END) != 0) return -1;
    const off_t length = ftello(file);
    return fseeko(file, 0, SEEK_SET) == 0 ? static_cast<int64_t>(length) : -1;
}

intptr_t createLogFile(const char* path) {
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return fd < 0 ? 0 : static_cast<intptr_t>(fd) + 1; // +1 so descriptor 0 is not "none"
}

bool writeLogFile(intptr_t file, const char* data, size_t size) {
    if (file == 0) return false;
    ssize_t n = write(static_cast<int>(file - 1), data, size);
    return n == static_cast<ssize_t>(size);
}

void debuggerOutput(const char* text) {
    if (text == nullptr) return;
    // Like a debugger output channel: silent unless something is tracing this process. Reading
    // /proc for every log line cost more than the line itself, so the answer is kept a quarter
    // of a second: a debugger that attaches sees output from then on.
    static std::atomic<int64_t> checkedAt{-1}; // ms of the steady clock; -1 never
    static std::atomic<bool> traced{false};
    const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    const int64_t last = checkedAt.load(std::memory_order_relaxed);
    if (last < 0 || now - last >= 250) {
        long tracer = 0;
        if (FILE* status = std::fopen("/proc/self/status", "re")) {
            char line[256];
            while (std::fgets(line, sizeof line, status) != nullptr) {
                if (std::strncmp(line, "TracerPid:", 10) == 0) {
                    tracer = std::strtol(line + 10, nullptr, 10);
                    break;
                }
            }
            std::fclose(status);
        }
        traced.store(tracer != 0, std::memory_order_relaxed);
        checkedAt.store(now, std::memory_order_relaxed);
    }
    if (traced.load(std::memory_order_relaxed)) std::fputs(text, stderr);
}

void sleepMs(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void localTime(std::time_t time, std::tm& out) { localtime_r(&time, &out); }

} // namespace zentro::platform
