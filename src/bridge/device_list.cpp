#include "bridge/device_list.h"

#include <algorithm>
#include <cstring>

namespace zentro::bridge {
namespace {

constexpr char kHeader[] = "List of devices attached";
constexpr size_t kHeaderLength = sizeof kHeader - 1; // 24
constexpr size_t kMinimumLineLength = 5;

// True when a non-empty row serial begins with `serial` (only its length is compared), so a
// phone that already holds a WiFi row (serial followed by its address) is not added twice. A
// row keeps only the first 63 characters of a serial, so no more of a longer one is compared:
// such a phone listed again would otherwise get a second row with the same cut serial.
bool serialHeld(const core::LibraryState& st, const char* serial, size_t length) {
    for (const core::DeviceEntry& row : st.devices) {
        const size_t compared = std::min(length, sizeof row.serial - 1);
        if (row.serial[0] != '\0' && std::strncmp(row.serial, serial, compared) == 0) return true;
    }
    return false;
}

void addRow(core::LibraryState& st, const char* line, size_t length) {
    const char* tab = static_cast<const char*>(std::memchr(line, '\t', length));
    if (tab == nullptr || tab == line) return; // no state column, or no serial: not a phone line
    size_t serialLength = static_cast<size_t>(tab - line);
    if (serialHeld(st, line, serialLength)) return;
    if (st.connectAndroidCount < 0 || st.connectAndroidCount >= core::kMaxDevices) return;

    core::DeviceEntry& row = st.devices[st.connectAndroidCount];
    core::copyText(row.serial, sizeof row.serial, line, serialLength);
    core::copyText(row.state, sizeof row.state, tab + 1, length - serialLength - 1);
    row.connectionKind = core::kConnectionUsb;
    ++st.connectAndroidCount;
}

void swapFirstRows(core::LibraryState& st) {
    core::DeviceEntry& a = st.devices[0];
    core::DeviceEntry& b = st.devices[1];
    char held[sizeof a.serial];
    std::memcpy(held, a.serial, sizeof held);
    std::memcpy(a.serial, b.serial, sizeof held);
    std::memcpy(b.serial, held, sizeof held);
    std::memcpy(held, a.state, sizeof held);
    std::memcpy(a.state, b.state, sizeof held);
    std::memcpy(b.state, held, sizeof held);
}

bool same(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

} // namespace

void clearAdbRows(core::LibraryState& st) {
    for (core::DeviceEntry& row : st.devices) {
        if (row.connectionKind == core::kConnectionWifi) continue;
        std::memset(row.serial, 0, sizeof row.serial);
        std::memset(row.state, 0, sizeof row.state);
    }
}

void toTextMode(std::string& text) {
    size_t out = 0;
    for (size_t in = 0; in < text.size(); ++in) {
        if (text[in] == '\r' && in + 1 < text.size() && text[in + 1] == '\n') continue;
        text[out++] = text[in];
    }
    text.resize(out);
}

void parseDeviceList(const char* text, core::LibraryState& st) {
    st.connectAndroidCount = core::wifiPhoneCount(st); // new rows follow the WiFi rows
    if (text == nullptr || std::strncmp(text, kHeader, kHeaderLength) != 0) return;

    // Older clients print a blank between the header and its line end, 29.0.6 does not. Skip
    // each only when it is there: skipping two characters blindly would eat the first
    // character of the first serial.
    const char* p = text + kHeaderLength;
    if (*p == ' ') ++p;
    if (*p == '\n') ++p;

    // Whole lines only: a last piece without its line end is ignored.
    for (const char* end = std::strchr(p, '\n'); end != nullptr; end = std::strchr(p, '\n')) {
        size_t length = static_cast<size_t>(end - p);
        if (length >= kMinimumLineLength) addRow(st, p, length);
        p = end + 1;
    }
    keepRememberedPhones(st);
}

void keepRememberedPhones(core::LibraryState& st) {
    char* r0 = st.rememberedSerial[0];
    char* r1 = st.rememberedSerial[1];
    const core::DeviceEntry& row0 = st.devices[0];
    const core::DeviceEntry& row1 = st.devices[1];
    const size_t size = sizeof st.rememberedSerial[0];

    if (r0[0] == '\0') {
        if (row0.serial[0] != '\0') core::copyText(r0, size, row0.serial);
    } else if (!same(row0.serial, r0) && same(row1.serial, r0)) {
        swapFirstRows(st);
    }

    if (r1[0] != '\0') {
        if (same(row1.serial, r1)) return;
        if (same(row0.serial, r1)) swapFirstRows(st);
        return;
    }
    if (row1.serial[0] == '\0' || same(row1.serial, r0)) return;
    core::copyText(r1, size, row1.serial);
}

void blankUnsafeCharacters(char* text) {
    for (unsigned char* c = reinterpret_cast<unsigned char*>(text); *c != '\0'; ++c) {
        bool unsafe = *c < '-' || (*c >= ':' && *c <= '@') || *c >= '{';
        if (unsafe) *c = ' ';
    }
}

} // namespace zentro::bridge
