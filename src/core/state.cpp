#include "core/state.h"

#include <cstdlib>
#include <cstring>

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
Allocator g_allocate = defaultAllocate;

} // namespace

LibraryState& state() { return g_state; }

DeviceEntry* deviceRow(int deviceIndex) {
    if (deviceIndex < 0 || deviceIndex >= kMaxDevices) return nullptr;
    return &g_state.devices[deviceIndex];
}

void copyText(char* dst, size_t size, const char* src) {
    if (dst == nullptr || size == 0) return;
    size_t n = 0;
    if (src != nullptr) {
        while (n + 1 < size && src[n] != '\0') ++n;
        std::memcpy(dst, src, n);
    }
    dst[n] = '\0';
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

} // namespace zentro::core
