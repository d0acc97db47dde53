// The adb device list on hostile output, listing after listing as detection reads it: the
// input is split at zero bytes into successive outputs of "adb devices"; the first byte says
// how many WiFi rows come first. After each listing the rows stay within the table, the WiFi
// rows are untouched, there is one row per phone adb listed (a remembered phone may stay at
// index 0 or 1 beyond the count), each such row has a serial the output listed (ended by its
// tab), no serial is held twice, and every text is terminated.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bridge/device_list.h"
#include "core/state.h"
#include "fuzz_support.h"

using namespace zentro;

namespace {

size_t countCrLf(const std::string& text) {
    size_t n = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) n += text[i] == '\r' && text[i + 1] == '\n' ? 1 : 0;
    return n;
}

// True when the output holds the serial (a row keeps up to 63 characters) and, unless cut,
// its tab. The first line may run on from the header.
bool listed(const std::string& output, const char* serial) {
    const size_t length = std::strlen(serial);
    const std::string wanted = length < 63 ? std::string(serial) + '\t' : std::string(serial);
    return output.find(wanted) != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static core::LibraryState st;
    std::memset(&st, 0, sizeof st);
    const int wifi = data[0] % 4;
    for (int i = 0; i < wifi; ++i) {
        core::DeviceEntry& row = st.devices[i];
        std::snprintf(row.serial, sizeof row.serial, "wifi%d127.0.0.%d", i, i + 2);
        std::strcpy(row.state, "device");
        row.connectionKind = core::kConnectionWifi;
    }
    st.wifiDeviceCount = wifi;
    core::DeviceEntry wifiRows[core::kMaxDevices];
    std::memcpy(wifiRows, st.devices, sizeof wifiRows);

    for (std::string output : zfuzz::splitAtZero(data + 1, size - 1)) {
        const size_t before = output.size();
        const size_t pairs = countCrLf(output);
        bridge::toTextMode(output);
        FUZZ_CHECK(output.size() == before - pairs);

        bridge::clearAdbRows(st);
        bridge::parseDeviceList(output.c_str(), st);
        FUZZ_CHECK(st.connectAndroidCount >= wifi && st.connectAndroidCount <= core::kMaxDevices);
        int adbRows = 0;
        for (int i = 0; i < core::kMaxDevices; ++i) {
            const core::DeviceEntry& row = st.devices[i];
            FUZZ_CHECK(zfuzz::isTerminated(row.serial) && zfuzz::isTerminated(row.state));
            if (row.connectionKind == core::kConnectionWifi) {
                FUZZ_CHECK(std::memcmp(&row, &wifiRows[i], sizeof row) == 0);
                continue;
            }
            if (row.serial[0] == '\0') continue;
            ++adbRows; // a remembered phone may sit at index 0 or 1 beyond the count
            FUZZ_CHECK(listed(output, row.serial));
            for (int j = 0; j < core::kMaxDevices; ++j) {
                FUZZ_CHECK(j == i || std::strcmp(row.serial, st.devices[j].serial) != 0);
            }
        }
        FUZZ_CHECK(adbRows == st.connectAndroidCount - wifi);
        FUZZ_CHECK(zfuzz::isTerminated(st.rememberedSerial[0]) &&
                   zfuzz::isTerminated(st.rememberedSerial[1]));
    }
    return 0;
}
