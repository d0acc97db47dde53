#include "test_support.h"
#include "bridge/test_seams.h"
#include "core/test_seams.h"
#include "link/test_seams.h"
#include "media/test_seams.h"
#include "pairing/test_seams.h"
#include "platform/test_seams.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <time.h>

#include "platform/files.h"
#include "platform/process.h"
#include "records/test_seams.h"

namespace fs = std::filesystem;

namespace ztest {

namespace {
std::string g_adbRuns; // where the recorded adb writes
} // namespace

ZoneGuard::ZoneGuard(const char* zone) {
    const char* old = std::getenv("TZ");
    if (old != nullptr) old_ = old;
    set(zone);
}

ZoneGuard::~ZoneGuard() { set(old_.c_str()); }

void ZoneGuard::set(const char* zone) {
    zentro::platform::setEnv("TZ", zone);
    tzset();
}

ScratchFolder::ScratchFolder() {
    static std::atomic<int> counter{0};
    fs::path base = fs::temp_directory_path();
    for (;;) {
        fs::path candidate =
            base / ("zentro-test-" + std::to_string(std::hash<std::string>{}(fs::current_path().string())) +
                    "-" + std::to_string(counter++) + "-" + std::to_string(std::random_device{}()));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            path_ = candidate.string();
            return;
        }
    }
}

ScratchFolder::~ScratchFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
}

std::string ScratchFolder::file(const std::string& name) const { return (fs::path(path_) / name).string(); }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string readText(const std::string& path) {
    std::string text = readFile(path);
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
    return text;
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool fileExists(const std::string& path) {
    std::error_code error;
    return fs::exists(path, error);
}

std::string testBinFolder() { return zentro::platform::executableFolder(); }

std::string testChildPath() { return (fs::path(testBinFolder()) / ZENTRO_TEST_CHILD_NAME).string(); }

std::string recordAdbRunsIn(const std::string& folder) {
    fs::copy_file(testChildPath(), fs::path(folder) / zentro::platform::kAdbProgram,
                  fs::copy_options::overwrite_existing);
    zentro::platform::setHostFolderForTests(folder);
    g_adbRuns = (fs::path(folder) / "runs.txt").string();
    zentro::platform::setEnv("ZENTRO_CHILD_LOG", g_adbRuns.c_str());
    return g_adbRuns;
}

std::string takeAdbRuns() {
    std::string text = fileExists(g_adbRuns) ? readText(g_adbRuns) : "";
    std::remove(g_adbRuns.c_str());
    return text;
}

void resetLibraryState() {
    zentro::platform::setEnv("ZENTRO_CHILD_LOG", ""); // adb runs are recorded no more
    zentro::records::resetRecordsForTests();
    zentro::pairing::resetPairingForTests(); // before the channels: its thread may be using one
    zentro::core::resetStateForTests();
    zentro::core::resetLogForTests();
    zentro::link::resetLinkForTests();
    zentro::bridge::resetBridgeForTests(); // the runner's waits and name counter too
    zentro::records::resetGroupingForTests();
    zentro::platform::setHostFolderForTests("");
    zentro::platform::setTempPathForTests("");
    zentro::media::resetMediaForTests();
}

bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace ztest

#if defined(__SANITIZE_THREAD__)
// Thread-sanitized test programs: both stacks of a lock-order inversion, and a longer history so
// the earlier access of a race keeps its stack. Any report makes the program exit with 66.
extern "C" const char* __tsan_default_options() { return "second_deadlock_stack=1 history_size=4"; }
#endif
