// A USB bus of the test's own (device folders as sysfs shows them) and kernel uevent datagrams.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>

#include "test_support.h"

namespace usbtest {

namespace fs = std::filesystem;

inline void writeAttribute(const fs::path& folder, const std::string& name, const std::string& value) {
    fs::create_directories(folder);
    ztest::writeFile((folder / name).string(), value + "\n");
}

// "<root>/bus/usb/devices/<name>" with its ids and, when given, its serial.
inline fs::path addDevice(const std::string& root, const std::string& name, const std::string& vendor,
                          const std::string& product, const std::string& serial = "") {
    const fs::path device = fs::path(root) / "bus" / "usb" / "devices" / name;
    writeAttribute(device, "idVendor", vendor);
    writeAttribute(device, "idProduct", product);
    if (!serial.empty()) writeAttribute(device, "serial", serial);
    return device;
}

// An interface folder; class ff, subclass 42, protocol 01 is the debug port.
inline void addInterface(const fs::path& folder, const std::string& cls = "ff",
                         const std::string& subclass = "42", const std::string& protocol = "01") {
    writeAttribute(folder, "bInterfaceClass", cls);
    writeAttribute(folder, "bInterfaceSubClass", subclass);
    writeAttribute(folder, "bInterfaceProtocol", protocol);
}

// Zero-terminated fields, as the kernel sends them.
inline std::string uevent(std::initializer_list<std::string> fields) {
    std::string raw;
    for (const std::string& field : fields) raw.append(field).push_back('\0');
    return raw;
}

} // namespace usbtest
