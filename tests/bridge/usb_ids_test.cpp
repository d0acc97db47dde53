#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "bridge/usb_ids.h"
#include "platform/test_seams.h"
#include "platform/usb.h"
#include "test_support.h"
#include "usb_bus.h"

namespace bridge = zentro::bridge;
namespace platform = zentro::platform;

namespace {

// The listed phones as "vendor:product:debugFlag", comma-separated.
std::string listed(const std::vector<std::string>& ids) {
    bridge::UsbList list{};
    bridge::readInstanceIds(ids, list);
    std::string out;
    char entry[32];
    for (int i = 0; i < list.count; ++i) {
        std::snprintf(entry, sizeof entry, "%s%04X:%04X:%d", i ? "," : "", list.entries[i].vendorId,
                      list.entries[i].productId, list.entries[i].debugFlag);
        out += entry;
    }
    return out;
}

} // namespace

TEST(UsbIds, PhonesOfKnownMakersAreListedWithTheDebugMarkerOfAnyInstance) {
    const std::string on = "USB\\VID_04E8&PID_6860&ADB\\0001", off = "USB\\VID_04E8&PID_6860\\0001";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{on}, "04E8:6860:0"},
        {{off}, "04E8:6860:-1"},
        {{off, on}, "04E8:6860:0"},
        {{on, off}, "04E8:6860:0"},
        {{"USB\\VID_04E8&PID_1234\\x001", // known maker, unknown model: the maker's last row
          "USB\\VID_1234&PID_5678\\x002", // unknown maker
          "USB\\VID_0000&PID_0000\\x003", // the closing row takes part in lookups too
          "HID\\VID_0BB4&PID_0C87\\x004", // not a USB identifier
          "usb\\VID_0BB4&PID_0C87\\x005", "USB\\VID_1004&PID_618e\\x006"}, // lower-case digits
         "04E8:1234:-1,0000:0000:-1,1004:618E:-1"},
        {{"USB\\VID_04E8&PID_6860\\abc"}, "04E8:6860:-1"}, // four characters behind the product id do
    };
    // Incomplete identifiers are ignored.
    for (const char* id :
         {"", "USB", "USB\\", "USB\\VID_", "USB\\VID_04E8", "USB\\VID_04E8&", "USB\\VID_04E8&PID_6860",
          "USB\\VID_04E8&PID_6860\\ab", "USB\\VID_04G8&PID_6860\\0001", "USB\\VID_04E8&PID_68X0\\0001",
          "USB\\PID_6860&VID_04E8\\0001", "USB\\VID_04E8&QID_6860\\0001"})
        EXPECT_EQ(listed({id}), "") << id;
    bridge::UsbList none{};
    bridge::readInstanceId(nullptr, none);
    EXPECT_EQ(none.count, 0);
    for (const auto& [ids, expected] : cases)
        EXPECT_EQ(listed(ids), expected) << ids.size() << " ids, first " << ids[0];
}

TEST(UsbSysfs, IdentifiersAsTheDeviceSetupServiceWouldGiveThem) {
    ztest::ScratchFolder root;
    EXPECT_TRUE(platform::instanceIdsFromSysfs(root.path()).empty()); // no USB bus: no devices
    EXPECT_TRUE(platform::instanceIdsFromSysfs(root.file("missing")).empty());
    // Interface folders are named "1-1:1.0"; Windows file names cannot hold the colon.
    if (!platform::deviceIdsComeFromSysfs()) GTEST_SKIP() << "this build asks the device setup service";

    const auto phone = usbtest::addDevice(root.path(), "1-1", "04e8", "6860", "R58M30ABCDE");
    usbtest::addInterface(phone / "1-1:1.0", "06", "01", "01");
    usbtest::addInterface(phone / "1-1:1.1");
    const auto bare = usbtest::addDevice(root.path(), "1-2", "18d1", "4ee7"); // the bus position stands in
    usbtest::addInterface(bare / "1-2:1.0", "ff", "42", "03");     // another protocol: no debug port
    usbtest::addDevice(root.path(), "2-1", "1234", "zz12", "bad"); // not an identifier
    usbtest::addDevice(root.path(), "usb1", "1d6b", "0002", "0000:00:14.0");
    usbtest::addInterface(phone.parent_path() / "1-1:1.1"); // interface entries beside the devices

    const std::vector<std::string> ids = platform::instanceIdsFromSysfs(root.path());
    EXPECT_EQ(ids, (std::vector<std::string>{"USB\\VID_04E8&PID_6860&ADB\\R58M30ABCDE",
                                             "USB\\VID_18D1&PID_4EE7\\1-2",
                                             "USB\\VID_1D6B&PID_0002\\0000:00:14.0"}));
}

TEST(Uevent, OnlyWholeUsbDevicesComeAndGoAndOnlyTheKernelMaySayIt) {
    auto classify = [](const std::string& raw) { return platform::classifyUevent(raw.data(), raw.size()); };
    auto message = [](const std::string& action, const std::string& subsystem, const std::string& devtype) {
        return usbtest::uevent({action + "@/devices/pci0000:00/0000:00:14.0/usb1/1-1", "ACTION=" + action,
                                "DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-1", "SUBSYSTEM=" + subsystem,
                                "DEVTYPE=" + devtype, "PRODUCT=4e8/6860/400", "SEQNUM=4711"});
    };
    const std::string add = message("add", "usb", "usb_device"),
                      remove = message("remove", "usb", "usb_device");
    EXPECT_EQ(classify(add), platform::DeviceChange::Arrival);
    EXPECT_EQ(classify(remove), platform::DeviceChange::Removal);
    EXPECT_EQ(classify(message("add", "usb", "usb_interface")), platform::DeviceChange::None);
    EXPECT_EQ(classify(message("add", "block", "usb_device")), platform::DeviceChange::None);

    // Without the kernel's "action@path" opening it is not a kernel message.
    EXPECT_EQ(classify(add.substr(add.find("ACTION="))), platform::DeviceChange::None);
    // Cut anywhere, it is read within its bounds.
    const size_t complete = add.find("DEVTYPE=usb_device") + std::strlen("DEVTYPE=usb_device");
    for (size_t n = 0; n < add.size(); ++n) {
        EXPECT_EQ(classify(add.substr(0, n)),
                  n >= complete ? platform::DeviceChange::Arrival : platform::DeviceChange::None)
            << n;
    }
    EXPECT_EQ(platform::classifyUevent(nullptr, 10), platform::DeviceChange::None);

    auto accept = [](uint32_t sender, bool truncated, const std::string& raw) {
        return platform::acceptKernelUevent(sender, truncated, raw.data(), raw.size());
    };
    EXPECT_EQ(accept(0, false, add), platform::DeviceChange::Arrival);
    EXPECT_EQ(accept(0, false, remove), platform::DeviceChange::Removal);
    // A local process sends from its own port id (its pid, or one the kernel picked): the same
    // bytes fake nothing. udev's own re-broadcast comes from a process too.
    for (uint32_t sender : {1u, 4242u, 0x80000000u, UINT32_MAX}) {
        EXPECT_EQ(accept(sender, false, add), platform::DeviceChange::None) << sender;
        EXPECT_EQ(accept(sender, false, remove), platform::DeviceChange::None) << sender;
    }
    // A message that did not fit the buffer is not read as whatever its first part says.
    EXPECT_EQ(accept(0, true, add), platform::DeviceChange::None);
}
