// Process-wide library state shared by every subsystem: the device table and its counts, the
// work folder, host callbacks, preparation progress and the two shared buffers.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "zentrolink.h"

namespace zentro::core {

constexpr int kMaxDevices = 10;
constexpr int kWorkFolderSize = 1024;

enum ConnectionKind : uint32_t { kConnectionUsb = 0, kConnectionWifi = 1 };

struct DeviceEntry {
    char serial[64];
    char state[64];
    char brand[128];
    char model[64];
    char androidVersion[64];
    char versionText[64];
    char buildPda[64];
    uint32_t connectionKind;
    char address[64];
    int32_t port;
};

struct LibraryState {
    DeviceEntry devices[kMaxDevices];
    int32_t connectAndroidCount;  // rows in use after the last device-list parse
    int32_t wifiDeviceCount;      // phones that ever joined over WiFi; never lowered (see below)
    char rememberedSerial[2][64]; // keeps the first two phones at their index
    char workFolder[kWorkFolderSize];
};

LibraryState& state();

// The WiFi phone count of `st`. The pairing server's thread raises it once the phone's row is
// filled while the host may be counting phones on its own thread, so both sides use these: a
// host that reads the new count also sees the whole row.
int32_t wifiPhoneCount(LibraryState& st);
void addWifiPhone(LibraryState& st);

// Row of a device index; null outside 0..9.
DeviceEntry* deviceRow(int deviceIndex);

// The library's one bounded text copy: at most `maxChars` bytes of `src` (fewer when it ends
// earlier or `size` is smaller), always zero-terminated inside `size`; null copies as empty.
// Overlapping ranges are allowed. Returns the number of bytes copied.
size_t copyText(char* dst, size_t size, const char* src, size_t maxChars = SIZE_MAX);

// Sets the work folder to "<temp path><name>/" (at most 1,024 characters of temp path, forward
// slashes only) and creates that folder. With `emptyFirst` the folder and everything in it is
// deleted first and the deletion's result printed as "ret = %d\n" (a host may read its standard
// output, so the line stays).
void setWorkFolder(const char* name, bool emptyFirst);

// Whether the work folder is still a real folder of this user that no one else can write into;
// logs the reason when not. Nothing is written into a folder that fails it.
bool workFolderIsPrivate();

// Host callbacks. notify* calls the callback only when one is registered.
void setUsbCallback(ZentroCallback callback);
void setWifiCallback(ZentroCallback callback);
void notifyUsb(int32_t value);
void notifyWifi(int32_t value);

// Preparation progress, written by the preparation and polled by the host from another thread.
std::atomic<int32_t>& readyProgress();

// Shared transfer buffer: 102,400 bytes, halving down to 4,096 when memory is short.
void ensureTransferBuffer();
char* transferBuffer();
int32_t transferBufferSize();

// Shared reply buffer of 5,242,880 bytes; *out is null when it could not be allocated.
constexpr int32_t kReplyBufferSize = 5242880;
int32_t sharedReplyBuffer(char** out);

} // namespace zentro::core
