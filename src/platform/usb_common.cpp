// The parts of USB enumeration and hot-plug that need no system call: reading a sysfs tree
// and making sense of a uevent datagram. Kept portable so every build tests them.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "platform/usb.h"

namespace zentro::platform {
namespace {

namespace fs = std::filesystem;

// Instance identifiers are at most 260 characters on Windows; keep ours inside that.
constexpr size_t kMaxInstanceIdLength = 259;

// The first line of a small sysfs attribute, without its line end; empty when unreadable.
std::string readAttribute(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return {};
    char buffer[256];
    in.read(buffer, sizeof buffer);
    std::string text(buffer, static_cast<size_t>(in.gcount()));
    size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos) text.resize(end);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

bool isHex4(const std::string& text) {
    return text.size() == 4 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
           });
}

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// Interfaces are sub-folders named "<device>:<config>.<interface>".
bool hasDebugInterface(const fs::path& device, const std::string& name) {
    std::error_code ec;
    fs::directory_iterator it(device, ec);
    if (ec) return false;
    const std::string prefix = name + ":";
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) return false;
        const std::string child = it->path().filename().string();
        if (child.compare(0, prefix.size(), prefix) != 0) continue;
        const fs::path& folder = it->path();
        if (upper(readAttribute(folder / "bInterfaceClass")) == "FF" &&
            readAttribute(folder / "bInterfaceSubClass") == "42" &&
            readAttribute(folder / "bInterfaceProtocol") == "01") {
            return true;
        }
    }
    return false;
}

} // namespace

std::vector<std::string> instanceIdsFromSysfs(const std::string& root) {
    std::vector<std::string> ids;
    const fs::path devices = fs::path(root) / "bus" / "usb" / "devices";
    std::error_code ec;
    fs::directory_iterator it(devices, ec);
    if (ec) return ids; // no USB bus: no devices

    std::vector<fs::path> entries;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end()); // a stable order, as the system's list has one

    for (const fs::path& device : entries) {
        const std::string vendor = readAttribute(device / "idVendor");
        const std::string product = readAttribute(device / "idProduct");
        if (!isHex4(vendor) || !isHex4(product)) continue; // interfaces and odd entries
        const std::string name = device.filename().string();
        std::string serial = readAttribute(device / "serial");
        if (serial.empty()) serial = name;
        std::string id = "USB\\VID_" + upper(vendor) + "&PID_" + upper(product);
        if (hasDebugInterface(device, name)) id += "&ADB";
        id += "\\" + serial;
        if (id.size() > kMaxInstanceIdLength) id.resize(kMaxInstanceIdLength);
        ids.push_back(std::move(id));
    }
    return ids;
}

DeviceChange classifyUevent(const char* data, size_t size) {
    if (data == nullptr) return DeviceChange::None;
    std::string_view action, subsystem, devtype;
    bool first = true;
    size_t pos = 0;
    while (pos < size) {
        const void* nul = std::memchr(data + pos, '\0', size - pos);
        size_t end = nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - data) : size;
        std::string_view field(data + pos, end - pos);
        if (first) {
            // Kernel messages open with "<action>@<devpath>"; anything else is not ours.
            if (field.find('@') == std::string_view::npos) return DeviceChange::None;
            first = false;
        } else if (field.substr(0, 7) == "ACTION=") {
            action = field.substr(7);
        } else if (field.substr(0, 10) == "SUBSYSTEM=") {
            subsystem = field.substr(10);
        } else if (field.substr(0, 8) == "DEVTYPE=") {
            devtype = field.substr(8);
        }
        pos = end + 1;
    }
    if (subsystem != "usb" || devtype != "usb_device") return DeviceChange::None;
    if (action == "add") return DeviceChange::Arrival;
    if (action == "remove") return DeviceChange::Removal;
    return DeviceChange::None;
}

DeviceChange acceptKernelUevent(uint32_t senderPort, bool truncated, const char* data, size_t size) {
    if (senderPort != 0 || truncated) return DeviceChange::None;
    return classifyUevent(data, size);
}

} // namespace zentro::platform
