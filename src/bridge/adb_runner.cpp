#include "bridge/adb_runner.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#ifdef ZENTRO_TESTING
#include "bridge/test_seams.h"
#endif
#include "core/log.h"
#include "core/state.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"

namespace zentro::bridge {
namespace {

#ifdef ZENTRO_TESTING
RunnerTimings g_timings; // tests shorten the waits
#else
constexpr RunnerTimings g_timings;
#endif
std::atomic<int32_t> g_nameCounter{0};

// The current child: waited-for runs take turns. Taking the turn is one atomic step, so two
// threads can never both believe the slot was free.
std::atomic<bool> g_childRunning{false};

class ChildTurn {
public:
    ChildTurn() {
        bool expected = false;
        while (!g_childRunning.compare_exchange_weak(expected, true)) {
            expected = false;
            platform::sleepMs(g_timings.turnPollMs);
        }
    }
    ~ChildTurn() { g_childRunning.store(false); }
    ChildTurn(const ChildTurn&) = delete;
    ChildTurn& operator=(const ChildTurn&) = delete;
};

enum class Outcome { NotStarted, Ended, TimedOut, WaitFailed };

Outcome runWaited(const char* commandLine, const char* stdoutPath, int timeoutMs) {
    const std::string folder = platform::hostFolder();
    platform::Process child;
    if (!platform::startProcess(commandLine, folder.c_str(), stdoutPath, child)) {
        return Outcome::NotStarted;
    }
    platform::WaitResult waited = platform::waitProcess(child, timeoutMs);
    // After a time-out the child goes on by itself; the platform reaps it when it ends.
    platform::releaseProcess(child);
    switch (waited) {
    case platform::WaitResult::Ended: return Outcome::Ended;
    case platform::WaitResult::TimedOut: return Outcome::TimedOut;
    default: return Outcome::WaitFailed;
    }
}

Outcome runAdbWaited(const char* args, const char* stdoutPath, int timeoutMs) {
    ChildTurn turn;
    char commandLine[kCommandLineSize];
    // Longer lines are cut to 1023 characters and the cut line is run.
    platform::formatAdbCommandLine(commandLine, sizeof commandLine, platform::hostFolder().c_str(),
                                   args != nullptr ? args : "");
    return runWaited(commandLine, stdoutPath, timeoutMs);
}

} // namespace

int runAdb(const char* args) { return runAdbWaited(args, nullptr, -1) == Outcome::NotStarted ? -1 : 0; }

bool adbArgumentsFit(const char* args) {
    if (args == nullptr) return true;
    std::string line(std::strlen(args) + platform::hostFolder().size() + 64, '\0');
    platform::formatAdbCommandLine(line.data(), line.size(), platform::hostFolder().c_str(), args);
    return std::strlen(line.c_str()) < kCommandLineSize;
}

bool plainAdbWord(const char* word, const char* what) {
    if (word == nullptr) return true;
    bool plain = word[0] != '-';
    for (const char* c = word; plain && *c != '\0'; ++c) {
        // ASCII ranges, not isalnum: the host's locale may call accented bytes letters.
        plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') ||
                std::strchr(".:-_", *c) != nullptr;
    }
    if (!plain) core::log(0, "Refused %s: not a plain adb word\n", what);
    return plain;
}

bool quotableAdbText(const char* text, const char* what) {
    if (text == nullptr) return true;
    const size_t length = std::strlen(text);
    const bool quotable = std::strchr(text, '"') == nullptr && (length == 0 || text[length - 1] != '\\');
    if (!quotable) core::log(0, "Refused %s: it would not stay one quoted adb argument\n", what);
    return quotable;
}

bool bareAdbText(const char* text, const char* what) {
    if (text == nullptr) return true;
    const bool bare = std::strpbrk(text, " \t\"") == nullptr;
    if (!bare) core::log(0, "Refused %s: it would not stay one adb argument\n", what);
    return bare;
}

int runAdbBounded(const char* args) {
    return runAdbWaited(args, nullptr, g_timings.boundedMs) == Outcome::Ended ? 0 : -1;
}

int runAdbCapturing(const char* args, const char* outputPath) {
    if (outputPath == nullptr || outputPath[0] == '\0') return -1; // no usable work folder
    return runAdbWaited(args, outputPath, g_timings.captureMs) == Outcome::NotStarted ? -1 : 0;
}

int runTool(const char* program, const char* argsOrNull) {
    if (program == nullptr) return -1;
    ChildTurn turn;
    char commandLine[kCommandLineSize];
    platform::formatToolCommandLine(commandLine, sizeof commandLine, platform::hostFolder().c_str(), program,
                                    argsOrNull);
    return runWaited(commandLine, nullptr, -1) == Outcome::NotStarted ? -1 : 0;
}

int launchDetached(const char* commandLine) {
    if (commandLine == nullptr) return -1;
    char line[kCommandLineSize];
    std::snprintf(line, sizeof line, "%s", commandLine);
    return platform::launchDetached(line) ? 0 : -1;
}

void makeTempOutputPath(char* out) {
    if (out == nullptr) return;
    const char* workFolder = core::state().workFolder;
    // Used before Zentro_Init: a folder of its own so Init's emptying cannot race with it.
    // Folder and file names are known to hosts that clean up after us: keep them.
    if (workFolder[0] == '\0') core::setWorkFolder("Temp_androidrc", false);
    if (!core::workFolderIsPrivate()) {
        out[0] = '\0'; // captures refuse an empty path; readers find no file
        return;
    }
    char name[32];
    std::snprintf(name, sizeof name, "sdlk%06d", static_cast<int>(g_nameCounter.fetch_add(1)));
    // Cut like every other 1024-byte path of the library when the folder is absurdly long.
    core::copyText(out, kCommandLineSize, (std::string(workFolder) + name).c_str());
    platform::deleteFile(out);
}

#ifdef ZENTRO_TESTING
void setRunnerTimingsForTests(const RunnerTimings& timings) { g_timings = timings; }

void resetRunnerForTests() {
    g_timings = RunnerTimings{};
    g_nameCounter.store(0);
}
#endif

} // namespace zentro::bridge
