// Present USB devices and device-change notices, the two things the USB watcher needs from the
// system. Windows asks the device setup service and owns a hidden window; Linux reads sysfs and
// a kernel uevent netlink socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zentro::platform {

// Instance identifiers of the present devices, in the system's order, such as
// "USB\VID_04E8&PID_6860\0001". The walk ends at the first identifier that cannot be read.
// False when the device list could not be had at all.
bool listDeviceInstanceIds(std::vector<std::string>& out);

// Linux makes identifiers from "<root>/bus/usb/devices/*": "USB\VID_xxxx&PID_xxxx\serial",
// with "&ADB" behind the product id when an interface has class ff, subclass 42, protocol 01.
// A missing "<root>/bus/usb" means no devices. Portable so that every build can test it.
std::vector<std::string> instanceIdsFromSysfs(const std::string& root);

enum class DeviceChange { None, Arrival, Removal };
using DeviceChangeHandler = void (*)(DeviceChange change);

// Opens the system's source of device-change notices (the hidden window "..... usb Check hide
// window ....." on Windows, a kernel uevent socket on Linux) and hands every arrival and
// removal to `handler` on the calling thread, until the process ends. Returns -1 at once when
// the source cannot be opened.
int runDeviceChangeLoop(DeviceChangeHandler handler);

// What a kernel uevent datagram ("add@/devices/...\0ACTION=add\0...\0DEVTYPE=usb_device\0")
// means: an add or remove of a whole USB device; interfaces and other subsystems are None.
DeviceChange classifyUevent(const char* data, size_t size);

// The same for one datagram read from the uevent socket, with its sender's netlink port id and
// whether it arrived cut short. Only the kernel (port 0) speaks for the hardware: any local
// process can send to the socket, so everything else is None, as is a cut message.
DeviceChange acceptKernelUevent(uint32_t senderPort, bool truncated, const char* data, size_t size);

// How many device-change sources this process holds open (hidden windows, uevent sockets).
int deviceChangeSourceCount();

} // namespace zentro::platform
