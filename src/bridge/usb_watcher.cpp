// The USB watcher (source module "CheckUSBDevice"): the USB list, its enumeration, the watcher
// thread that re-enumerates on device changes and tells the host, and the exports around it.
#include "bridge/usb_watcher.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "bridge/adb_runner.h"
#ifdef ZENTRO_TESTING
#include "bridge/test_seams.h"
#endif
#include "core/log.h"
#include "core/state.h"
#include "platform/thread.h"
#include "platform/usb.h"

namespace zentro::bridge {
namespace {

// The start-failure log line names this module and line; hosts' support staff grep for it.
constexpr const char* kModuleName = "CheckUSBDevice";
constexpr int kStartFailureLine = 134;
constexpr const char* kDriverInstaller = "AdbDriverInstaller.exe";

// The host's thread and the watcher thread both enumerate; the lock keeps each rebuild whole.
std::mutex g_listMutex;
UsbList g_list{};

std::mutex g_startMutex;
std::atomic<bool> g_threadStarted{false}; // stands for the thread handle: set once started
std::atomic<bool> g_windowStarted{false};
#ifdef ZENTRO_TESTING
std::atomic<int> g_threadsCreated{0};
#endif

void onDeviceChange(platform::DeviceChange change) {
    if (change == platform::DeviceChange::Arrival) {
        enumerateUsbPhones();
        core::notifyUsb(ZENTRO_USB_ARRIVAL);
    } else if (change == platform::DeviceChange::Removal) {
        core::log(0, "USB Remove 1 \n"); // a host-visible log text, trailing blank included
        enumerateUsbPhones();
        core::notifyUsb(ZENTRO_USB_REMOVAL);
    }
}

void watcherThread(void*) {
    if (g_windowStarted.exchange(true)) return;
    if (platform::runDeviceChangeLoop(onDeviceChange) != 0) g_windowStarted.store(false);
}

// The thread outlives Zentro_UnInit and may outlive the host's FreeLibrary: it holds the module.
bool createDetachedWatcher() {
    if (!platform::runHoldingLibrary(watcherThread, nullptr, nullptr)) return false;
#ifdef ZENTRO_TESTING
    ++g_threadsCreated;
#endif
    return true;
}

} // namespace

int startWatcherOnce(std::atomic<bool>& started, bool (*create)()) {
    if (started.load()) return 0;
    if (create() || create()) {
        started.store(true);
        return 0;
    }
    // No handle exists after a failed start; it is logged as 0.
    core::logAt(kModuleName, kStartFailureLine, 0, "Faild(%d)  %s, %d\n", 0, kModuleName, kStartFailureLine);
    return -1;
}

int startUsbWatcher() {
    std::lock_guard<std::mutex> lock(g_startMutex);
    return startWatcherOnce(g_threadStarted, createDetachedWatcher);
}

int32_t enumerateUsbPhones() {
    std::vector<std::string> ids;
    if (!platform::listDeviceInstanceIds(ids)) ids.clear(); // no device list: no phones
    return setUsbListFromIds(ids);
}

int32_t setUsbListFromIds(const std::vector<std::string>& ids) {
    std::lock_guard<std::mutex> lock(g_listMutex);
    return readInstanceIds(ids, g_list);
}

UsbList usbListSnapshot() {
    std::lock_guard<std::mutex> lock(g_listMutex);
    return g_list;
}

int32_t countConnectedPhones() {
    core::LibraryState& st = core::state();
    int32_t count = enumerateUsbPhones() + core::wifiPhoneCount(st);
    // A host may parse this line from the log: its text stays as it is.
    core::log(0, "CheckConnectDeviceToPC_Count st_connectAndroidCount = %d, ret = %d\n",
              st.connectAndroidCount, count);
    if (count <= 0) {
        std::memset(st.rememberedSerial, 0, sizeof st.rememberedSerial);
    }
    return count;
}

bool usbPhoneNeedsDetection(int32_t usbIndex) {
    UsbList list = usbListSnapshot();
    if (usbIndex < 0 || usbIndex >= list.count || usbIndex >= kMaxUsbPhones) return false;
    return list.entries[usbIndex].debugFlag != 0;
}

int32_t debugTypeAt(int32_t usbIndex) {
    // Deliberately not checked against the count: the entry of an earlier enumeration counts.
    if (usbIndex < 0 || usbIndex >= kMaxUsbPhones) return 1;
    return debugTypeOf(usbListSnapshot().entries[usbIndex]);
}

int runDriverInstaller() { return runTool(kDriverInstaller, nullptr); }

#ifdef ZENTRO_TESTING
int watcherThreadsCreated() { return g_threadsCreated.load(); }

void resetUsbListForTests() {
    std::lock_guard<std::mutex> lock(g_listMutex);
    g_list = UsbList{};
}
#endif

} // namespace zentro::bridge
