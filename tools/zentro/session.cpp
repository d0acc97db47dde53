// The library session of one zentro run: start-up, choosing the phone, preparing it.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "adb_server.h"
#include "cli.h"
#include "interrupt.h"
#include "zentrolink.h"

namespace zentro::cli {
namespace {

bool g_started = false;
std::string g_serial;
int g_detectedIndex = -1; // the index detected in this run, whose serial is g_serial

// The library empties its work folder under TMPDIR at every start-up, and its capture files
// have fixed names: two zentro runs sharing one TMPDIR would delete each other's files. Each
// run gets a folder of its own, removed when the run ends.
class PrivateTempFolder {
public:
    void make() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/zentro-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw Failure("cannot make a temporary folder in " + pattern.substr(0, pattern.rfind('/')) +
                          ": " + std::strerror(errno) + "; set TMPDIR to a writable folder");
        }
        path_ = std::filesystem::absolute(pattern).string();
        ::setenv("TMPDIR", path_.c_str(), 1);
        removeOnHardExit(path_);
    }
    ~PrivateTempFolder() {
        if (path_.empty()) return;
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }

private:
    std::string path_;
};

PrivateTempFolder g_temp;

// Polls the adb server's device list every second while a command works with phones, and
// stops the work (through the interrupt flag, so every loop and abort path sees it) when a
// watched phone is no longer listed as usable. An adb server that does not answer proves
// nothing and is asked again.
class PhoneWatch {
public:
    ~PhoneWatch() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    void add(const std::string& serial) {
        std::lock_guard lock(mutex_);
        serials_.insert(serial);
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_; })) {
            const std::set<std::string> serials = serials_;
            lock.unlock();
            const AdbServerView server = queryAdbServer();
            if (server.running) {
                for (const std::string& serial : serials) {
                    bool usable = false;
                    for (const AdbDevice& device : server.devices)
                        usable = usable || (device.serial == serial && device.state == "device");
                    if (!usable) phoneGone(serial);
                }
            }
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::set<std::string> serials_;
    std::thread thread_;
};

PhoneWatch g_watch;

// The local port the library forwards to a phone's companion, by device index.
constexpr int kFirstChannelPort = 30148;

std::string adbAdvice() {
    return "make sure '" + programFolder() + "/adb' exists (scripts/setup-deps installs adb)";
}

} // namespace

Options& options() {
    static Options instance;
    return instance;
}

std::string logLocation() {
    const char* documents = std::getenv("XDG_DOCUMENTS_DIR");
    if (documents != nullptr && documents[0] != '\0')
        return std::string(documents) + "/LogFiles/zentrolink.log";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "~") + "/Documents/LogFiles/zentrolink.log";
}

std::string absolutePath(const std::string& path) {
    if (path.empty()) return path;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

void selectPhoneBySerial() {
    if (options().serial.empty()) return;
    const AdbServerView server = queryAdbServer();
    for (size_t index = 0; index < server.devices.size() && index < 10; ++index) {
        if (server.devices[index].serial == options().serial) {
            options().device = static_cast<int>(index);
            return;
        }
    }
    throw Failure(!server.running ? "no adb server runs on port " + std::to_string(adbServerPort()) +
                                        " to find phone " + options().serial + " on"
                                  : "no phone with serial " + options().serial + " (see 'zentro devices')");
}

std::string selectedSerial() { return g_serial; }

bool ownsChannelPort() {
    const int index = options().device;
    if (index > 1 || g_serial.empty()) return true; // only indexes 0 and 1 have a command channel
    const std::string local = "tcp:" + std::to_string(kFirstChannelPort + index);
    std::vector<AdbForward> forwards;
    if (!listForwards(forwards)) return false;
    for (const AdbForward& forward : forwards) {
        if (forward.serial == g_serial && forward.local == local) return true;
    }
    return false;
}

void requireOwnChannel() {
    if (ownsChannelPort()) return;
    const std::string port = std::to_string(kFirstChannelPort + options().device);
    throw Failure("local port " + port + " does not lead to phone " + g_serial +
                  ": another adb server or program holds it, so what answers there is not this phone; "
                  "stop that server ('adb kill-server' with its ANDROID_ADB_SERVER_PORT) or program, "
                  "then try again");
}

void startLibrary() {
    if (g_started) return;
    g_started = true;
    g_temp.make();
    // The library prints its work-folder clean-up on standard output; that is not ours to show.
    std::fflush(stdout);
    int saved = ::dup(1);
    int sink = options().verbose ? ::dup(2) : ::open("/dev/null", O_WRONLY);
    if (saved >= 0 && sink >= 0) ::dup2(sink, 1);
    Zentro_Init();
    std::fflush(stdout);
    if (saved >= 0) {
        ::dup2(saved, 1);
        ::close(saved);
    }
    if (sink >= 0) ::close(sink);
    if (options().verbose) std::fprintf(stderr, "log: %s\n", logLocation().c_str());
}

void requirePhone() {
    if (::access((programFolder() + "/adb").c_str(), X_OK) != 0) {
        throw Failure("adb is missing beside this program: " + adbAdvice());
    }
    const int index = options().device;
    AdbServerView server = queryAdbServer();
    // A phone this run has detected is checked again against the server's list only: detecting
    // it again would run adb five times to read properties that cannot have changed while it
    // stayed listed.
    if (server.running && index == g_detectedIndex && !g_serial.empty() &&
        static_cast<size_t>(index) < server.devices.size() && server.devices[index].serial == g_serial &&
        server.devices[index].state == "device") {
        return;
    }
    if (server.running) {
        // The adb beside this program does not change during a run: asked once.
        static const int client = adbClientVersion();
        if (client != 0 && server.version != 0 && client != server.version) {
            throw Failure("an adb server of another version (" + std::to_string(server.version) +
                          ", this adb is " + std::to_string(client) + ") runs on port " +
                          std::to_string(adbServerPort()) +
                          "; stop it with 'adb kill-server' from the tool that started it, then try again");
        }
        // Asking the library for an index without a phone makes it restart the adb server, which
        // would cut off every other adb user: only ask where a phone is listed.
        if (static_cast<size_t>(index) >= server.devices.size()) {
            throw Failure(server.devices.empty()
                              ? "no phone found: connect one by USB with USB debugging on"
                              : "no phone at index " + std::to_string(index) + " (" +
                                    std::to_string(server.devices.size()) + " listed; see 'zentro devices')");
        }
    }
    startLibrary();
    const int status = Zentro_CheckDeviceDetected(index);
    if (status == -5)
        throw Failure("no phone found at index " + std::to_string(index) +
                      ": connect one by USB with USB debugging on");
    if (status == -2) throw Failure("the phone is offline: unplug it and plug it in again");
    if (status != 0)
        throw Failure("the phone is not usable: unlock it and allow USB debugging for this computer");
    DeviceInfoRecord info{};
    Zentro_GetAndroidDevicesInfo(&info, index);
    g_serial.assign(info.serial, strnlen(info.serial, sizeof info.serial));
    if (!g_serial.empty()) g_watch.add(g_serial);
    g_detectedIndex = index;
}

void requirePreparedPhone() {
    requirePhone();
    if (Zentro_CheckDevicesIsConnect(options().device) != 0) {
        throw Failure("the phone is not prepared: run 'zentro prepare" +
                      (options().device != 0 ? " -d " + std::to_string(options().device) : std::string()) +
                      "' first");
    }
    requireOwnChannel();
}

} // namespace zentro::cli
