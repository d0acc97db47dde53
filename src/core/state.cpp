#include "core/state.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/log.h"
#ifdef ZENTRO_TESTING
#include "core/test_seams.h"
#endif
#include "platform/files.h"

namespace zentro::core {
namespace {

constexpr int32_t kTransferBufferInitialSize = 102400;
constexpr int32_t kTransferBufferMinimumSize = 4096;

LibraryState g_state{};
std::atomic<ZentroCallback> g_usbCallback{nullptr};
std::atomic<ZentroCallback> g_wifiCallback{nullptr};
std::atomic<int32_t> g_readyProgress{0};

char* g_transferBuffer = nullptr;
int32_t g_transferBufferSize = kTransferBufferInitialSize;
char* g_replyBuffer = nullptr;

void* defaultAllocate(size_t size) { return std::malloc(size); }
void* (*g_allocate)(size_t) = defaultAllocate; // tests make allocations fail

} // namespace

LibraryState& state() { return g_state; }

int32_t wifiPhoneCount(LibraryState& st) { return std::atomic_ref<int32_t>(st.wifiDeviceCount).load(); }

void addWifiPhone(LibraryState& st) { std::atomic_ref<int32_t>(st.wifiDeviceCount).fetch_add(1); }

DeviceEntry* deviceRow(int deviceIndex) {
    if (deviceIndex < 0 || deviceIndex >= kMaxDevices) return nullptr;
    return &g_state.devices[deviceIndex];
}

size_t copyText(char* dst, size_t size, const char* src, size_t maxChars) {
    if (dst == nullptr || size == 0) return 0;
    size_t n = 0;
    if (src != nullptr) {
        while (n < maxChars && n + 1 < size && src[n] != '\0') ++n;
        std::memmove(dst, src, n);
    }
    dst[n] = '\0';
    return n;
}

bool workFolderIsPrivate() {
    std::string why;
    if (platform::isPrivateFolder(g_state.workFolder, why)) return true;
    log(0, "Work folder %s refused: %s\n", g_state.workFolder, why.c_str());
    return false;
}

void setWorkFolder(const char* name, bool emptyFirst) {
    std::string folder = platform::tempPath();
    if (folder.size() > 1024) folder.resize(1024);
    folder += name;
    if (emptyFirst) {
        std::printf("ret = %d\n", platform::removeTree(folder.c_str()));
        std::fflush(stdout);
    }
    // Other users share the temporary folder: a folder they planted or can write into is
    // refused, and every capture path checks the folder again (workFolderIsPrivate).
    std::string why;
    if (!platform::createPrivateFolder(folder.c_str(), why)) {
        log(0, "Work folder %s refused: %s\n", folder.c_str(), why.c_str());
    }
    folder.push_back('/');
    std::replace(folder.begin(), folder.end(), '\\', '/');
    copyText(g_state.workFolder, kWorkFolderSize, folder.c_str());
}

void setUsbCallback(ZentroCallback callback) { g_usbCallback.store(callback); }
void setWifiCallback(ZentroCallback callback) { g_wifiCallback.store(callback); }

void notifyUsb(int32_t value) {
    if (ZentroCallback callback = g_usbCallback.load()) callback(value);
}

void notifyWifi(int32_t value) {
    if (ZentroCallback callback = g_wifiCallback.load()) callback(value);
}

std::atomic<int32_t>& readyProgress() { return g_readyProgress; }

void ensureTransferBuffer() {
    if (g_transferBuffer != nullptr) return;
    for (;;) {
        g_transferBuffer = static_cast<char*>(g_allocate(static_cast<size_t>(g_transferBufferSize)));
        if (g_transferBuffer != nullptr) return;
        // Short of memory: halve, but never below 4,096 bytes; at that size keep trying.
        int32_t next = g_transferBufferSize / 2;
        g_transferBufferSize = next < kTransferBufferMinimumSize + 1 ? kTransferBufferMinimumSize : next;
    }
}

char* transferBuffer() { return g_transferBuffer; }
int32_t transferBufferSize() { return g_transferBufferSize; }

int32_t sharedReplyBuffer(char** out) {
    if (g_replyBuffer == nullptr) g_replyBuffer = static_cast<char*>(g_allocate(kReplyBufferSize));
    if (out != nullptr) *out = g_replyBuffer;
    return kReplyBufferSize;
}

#ifdef ZENTRO_TESTING
void setAllocatorForTests(Allocator allocator) {
    g_allocate = allocator != nullptr ? allocator : defaultAllocate;
}

void resetStateForTests() {
    std::memset(&g_state, 0, sizeof g_state);
    g_usbCallback.store(nullptr);
    g_wifiCallback.store(nullptr);
    g_readyProgress.store(0);
    std::free(g_transferBuffer);
    g_transferBuffer = nullptr;
    g_transferBufferSize = kTransferBufferInitialSize;
    std::free(g_replyBuffer);
    g_replyBuffer = nullptr;
    g_allocate = defaultAllocate;
}
#endif

} // namespace zentro::core
