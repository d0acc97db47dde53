#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "bridge/usb_ids.h"
#include "platform/usb.h"
#include "test_support.h"

namespace bridge = zentro::bridge;
namespace platform = zentro::platform;
namespace fs = std::filesystem;

namespace {

bridge::UsbList readAll(const std::vector<std::string>& ids) {
    bridge::UsbList list{};
    bridge::readInstanceIds(ids, list);
    return list;
}

// A kernel uevent datagram: zero-terminated fields.
std::string uevent(std::initializer_list<const char*> fields) {
    std::string raw;
    for (const char* field : fields) raw.append(field).push_back('\0');
    return raw;
}

} // namespace

TEST(UsbIds, DebugMarkerOfAnyInstanceMarksThePhone) {
    bridge::UsbList list = readAll({"USB\\VID_04E8&PID_6860&ADB\\0001"});
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.entries[0].vendorId, 0x04E8u);
    EXPECT_EQ(list.entries[0].productId, 0x6860u);
    EXPECT_EQ(list.entries[0].debugFlag, 0);

    list = readAll({"USB\\VID_04E8&PID_6860\\0001"});
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.entries[0].debugFlag, -1);

    for (auto ids : {std::vector<std::string>{"USB\\VID_04E8&PID_6860\\0001", "USB\\VID_04E8&PID_6860&ADB\\0001"},
                     std::vector<std::string>{"USB\\VID_04E8&PID_6860&ADB\\0001", "USB\\VID_04E8&PID_6860\\0001"}}) {
        list = readAll(ids);
        ASSERT_EQ(list.count, 1);
        EXPECT_EQ(list.entries[0].debugFlag, 0);
    }
}

TEST(UsbIds, OnlyPhonesOfKnownMakersAreListed) {
    bridge::UsbList list = readAll({
        "USB\\VID_04E8&PID_1234\\x001", // known maker, unknown model: the maker's last row
        "USB\\VID_1234&PID_5678\\x002", // unknown maker
        "USB\\VID_0000&PID_0000\\x003", // the closing row takes part in lookups too
        "HID\\VID_0BB4&PID_0C87\\x004", // not a USB identifier
        "usb\\VID_0BB4&PID_0C87\\x005",
        "USB\\VID_1004&PID_618e\\x006", // lower-case digits
    });
    ASSERT_EQ(list.count, 3);
    EXPECT_EQ(list.entries[0].vendorId, 0x04E8u);
    EXPECT_EQ(list.entries[0].productId, 0x1234u);
    EXPECT_EQ(list.entries[1].vendorId, 0u);
    EXPECT_EQ(list.entries[2].productId, 0x618Eu);
}

TEST(UsbIds, IncompleteIdentifiersAreIgnored) {
    for (const char* id : {"", "USB", "USB\\", "USB\\VID_", "USB\\VID_04E8", "USB\\VID_04E8&",
                           "USB\\VID_04E8&PID_6860", "USB\\VID_04E8&PID_6860\\ab",
                           "USB\\VID_04G8&PID_6860\\0001", "USB\\VID_04E8&PID_68X0\\0001",
                           "USB\\PID_6860&VID_04E8\\0001", "USB\\VID_04E8&QID_6860\\0001"}) {
        bridge::UsbList list{};
        bridge::readInstanceId(id, list);
        EXPECT_EQ(list.count, 0) << id;
    }
    bridge::UsbList list{};
    bridge::readInstanceId(nullptr, list);
    EXPECT_EQ(list.count, 0);
    // Four characters behind the product id are enough.
    bridge::readInstanceId("USB\\VID_04E8&PID_6860\\abc", list);
    EXPECT_EQ(list.count, 1);
}

TEST(UsbIds, ListHoldsTenPhones) {
    std::vector<std::string> ids;
    for (int pid = 1; pid <= 12; ++pid) {
        char id[64];
        std::snprintf(id, sizeof id, "USB\\VID_0BB4&PID_%04X\\serial", pid);
        ids.push_back(id);
    }
    ids.push_back("USB\\VID_0BB4&PID_0003&ADB\\serial"); // an entry in the list still learns
    ids.push_back("USB\\VID_0BB4&PID_000B&ADB\\serial"); // one left out stays out
    bridge::UsbList list = readAll(ids);
    ASSERT_EQ(list.count, 10);
    EXPECT_EQ(list.entries[9].productId, 10u);
    EXPECT_EQ(list.entries[2].debugFlag, 0);
    for (int i = 0; i < 10; ++i) {
        if (i != 2) {
            EXPECT_EQ(list.entries[i].debugFlag, -1) << i;
        }
    }

    // A new enumeration starts at 0 and leaves older entries behind the count.
    EXPECT_EQ(bridge::readInstanceIds({"USB\\VID_04E8&PID_6866\\serial"}, list), 1);
    EXPECT_EQ(list.entries[0].productId, 0x6866u);
    EXPECT_EQ(list.entries[1].productId, 2u);
}

namespace {

void attribute(const fs::path& folder, const std::string& name, const std::string& value) {
    fs::create_directories(folder);
    ztest::writeFile((folder / name).string(), value);
}

void device(const fs::path& devices, const std::string& name, const std::string& vendor,
            const std::string& product, const std::string& serial) {
    attribute(devices / name, "idVendor", vendor + "\n");
    attribute(devices / name, "idProduct", product + "\n");
    if (!serial.empty()) attribute(devices / name, "serial", serial + "\n");
}

void interface(const fs::path& device, const std::string& name, const std::string& cls,
               const std::string& subclass, const std::string& protocol) {
    attribute(device / name, "bInterfaceClass", cls + "\n");
    attribute(device / name, "bInterfaceSubClass", subclass + "\n");
    attribute(device / name, "bInterfaceProtocol", protocol + "\n");
}

} // namespace

TEST(UsbSysfs, IdentifiersAsTheDeviceSetupServiceWouldGiveThem) {
    // Interface folders are named "1-1:1.0"; Windows file names cannot hold the colon.
    if (!platform::deviceIdsComeFromSysfs()) GTEST_SKIP() << "this build asks the device setup service";
    ztest::ScratchFolder root;
    const fs::path devices = fs::path(root.path()) / "bus" / "usb" / "devices";
    device(devices, "1-1", "04e8", "6860", "R58M30ABCDE");
    interface(devices / "1-1", "1-1:1.0", "06", "01", "01");
    interface(devices / "1-1", "1-1:1.1", "ff", "42", "01");
    device(devices, "1-2", "18d1", "4ee7", "");     // no serial: the bus position stands in
    interface(devices / "1-2", "1-2:1.0", "ff", "42", "03"); // another protocol is no debug port
    device(devices, "2-1", "1234", "zz12", "bad"); // not an identifier
    device(devices, "usb1", "1d6b", "0002", "0000:00:14.0");
    interface(devices, "1-1:1.1", "ff", "42", "01"); // interface entries beside the devices

    const std::vector<std::string> ids = platform::instanceIdsFromSysfs(root.path());
    EXPECT_EQ(ids, (std::vector<std::string>{"USB\\VID_04E8&PID_6860&ADB\\R58M30ABCDE",
                                             "USB\\VID_18D1&PID_4EE7\\1-2",
                                             "USB\\VID_1D6B&PID_0002\\0000:00:14.0"}));

    bridge::UsbList list = readAll(ids);
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.entries[0].debugFlag, 0);
    EXPECT_EQ(list.entries[1].debugFlag, -1);
}

TEST(UsbSysfs, NoUsbBusMeansNoDevices) {
    ztest::ScratchFolder root;
    EXPECT_TRUE(platform::instanceIdsFromSysfs(root.path()).empty());
    EXPECT_TRUE(platform::instanceIdsFromSysfs(root.file("missing")).empty());
}

TEST(Uevent, OnlyWholeUsbDevicesComeAndGo) {
    auto classify = [](const std::string& raw) { return platform::classifyUevent(raw.data(), raw.size()); };
    const std::string add = uevent({"add@/devices/pci0000:00/0000:00:14.0/usb1/1-1", "ACTION=add",
                                    "DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-1",
                                    "SUBSYSTEM=usb", "DEVTYPE=usb_device", "PRODUCT=4e8/6860/400",
                                    "SEQNUM=4711"});
    EXPECT_EQ(classify(add), platform::DeviceChange::Arrival);

    std::string remove = add;
    remove.replace(0, 3, "remove");
    remove.replace(remove.find("ACTION=add"), 10, "ACTION=remove");
    EXPECT_EQ(classify(remove), platform::DeviceChange::Removal);

    std::string iface = add;
    iface.replace(iface.find("usb_device"), 10, "usb_interface");
    EXPECT_EQ(classify(iface), platform::DeviceChange::None);

    std::string block = add;
    block.replace(block.find("SUBSYSTEM=usb"), 13, "SUBSYSTEM=block");
    EXPECT_EQ(classify(block), platform::DeviceChange::None);

    // Without the kernel's "action@path" opening it is not a kernel message.
    EXPECT_EQ(classify(add.substr(add.find("ACTION="))), platform::DeviceChange::None);
    // Cut anywhere, it is read within its bounds.
    const size_t complete = add.find("DEVTYPE=usb_device") + std::strlen("DEVTYPE=usb_device");
    for (size_t n = 0; n < add.size(); ++n) {
        EXPECT_EQ(classify(add.substr(0, n)),
                  n >= complete ? platform::DeviceChange::Arrival : platform::DeviceChange::None) << n;
    }
    EXPECT_EQ(platform::classifyUevent(nullptr, 10), platform::DeviceChange::None);
}

