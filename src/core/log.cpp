#include "core/log.h"
#ifdef ZENTRO_TESTING
#include "core/test_seams.h"
#endif

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/log_output.h"

namespace zentro::core {
namespace {

// The handle is read by every message without a lock (messages come from the host's thread and
// the library's threads); the path is only for callers that want to show where the log is.
std::atomic<intptr_t> g_logFile{0};
std::mutex g_pathMutex;
std::string g_logPath;

intptr_t openLogFile() {
    std::string documents = platform::documentsFolder();
    if (documents.empty()) return 0;
    // Hosts and their users open the log at this place: keep both names.
    std::string folder = documents + platform::kPathSeparator + "LogFiles";
    platform::createFolder(folder.c_str());
    std::string path = folder + platform::kPathSeparator + "zentrolink.log";
    platform::deleteFile(path.c_str());
    intptr_t file = platform::createLogFile(path.c_str());
    if (file == 0) return 0;

    std::time_t now = std::time(nullptr);
    std::tm local{};
    platform::localTime(now, local);
    char banner[256];
    int n = std::snprintf(banner, sizeof banner,
                          "============================================\n%d/%d/%d %d:%d:%d\n"
                          "============================================\n\n",
                          local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                          local.tm_sec);
    platform::writeLogFile(file, banner, static_cast<size_t>(n));
    {
        std::lock_guard<std::mutex> lock(g_pathMutex);
        g_logPath = path;
    }
    return file;
}

std::mutex g_openMutex;

void ensureOpen() {
    if (g_logFile.load() != 0) return;
    // One opener at a time: a second would delete the file the first has just started.
    std::lock_guard<std::mutex> lock(g_openMutex);
    if (g_logFile.load() != 0) return;
    g_logFile.store(openLogFile());
}

// vsnprintf cuts at the buffer; a cut that ends inside a multi-byte sequence is harmless here
// because the log is read as bytes.
void writeMessage(char* buffer, size_t used) {
    if (intptr_t file = g_logFile.load()) platform::writeLogFile(file, buffer, used);
    platform::debuggerOutput(buffer);
}

size_t formatInto(char* buffer, size_t offset, const char* format, va_list args) {
    if (offset >= static_cast<size_t>(kLogMessageSize)) return kLogMessageSize - 1;
    int n = std::vsnprintf(buffer + offset, kLogMessageSize - offset, format, args);
    if (n < 0) {
        buffer[offset] = '\0';
        return offset;
    }
    size_t total = offset + static_cast<size_t>(n);
    return total >= static_cast<size_t>(kLogMessageSize) ? kLogMessageSize - 1 : total;
}

} // namespace

void log(int, const char* format, ...) {
    ensureOpen();
    if (format == nullptr) return;
    char buffer[kLogMessageSize];
    va_list args;
    va_start(args, format);
    size_t used = formatInto(buffer, 0, format, args);
    va_end(args);
    writeMessage(buffer, used);
}

void logAt(const char* file, int line, int, const char* format, ...) {
    ensureOpen();
    if (format == nullptr) return;
    char buffer[kLogMessageSize];
    int prefix = std::snprintf(buffer, sizeof buffer, "file:%s, line:%d\n", file ? file : "", line);
    size_t offset = prefix < 0 ? 0 : static_cast<size_t>(prefix);
    va_list args;
    va_start(args, format);
    size_t used = formatInto(buffer, offset, format, args);
    va_end(args);
    writeMessage(buffer, used);
}

// The line hosts look for to see which export ran: keep its text.
void logCall(const char* exportName) { log(0, "Call Function: %s\n", exportName); }

std::string logFilePath() {
    std::lock_guard<std::mutex> lock(g_pathMutex);
    return g_logPath;
}

#ifdef ZENTRO_TESTING
void resetLogForTests() {
    // The old handle is left open on purpose: another thread may still be writing through it.
    g_logFile.store(0);
    std::lock_guard<std::mutex> lock(g_pathMutex);
    g_logPath.clear();
}
#endif

} // namespace zentro::core
