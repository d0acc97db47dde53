#include "adb/device_list.h"

#include <algorithm>

namespace zsim::adb {

bool DeviceList::add(std::shared_ptr<Device> device) {
    if (!device) return false;
    std::lock_guard lock(mutex_);
    for (const auto& e : entries_)
        if (e.device->serial == device->serial) return false;
    entries_.push_back({std::move(device), nextTransportId_++});
    return true;
}

bool DeviceList::remove(const std::string& serial) {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return e.device->serial == serial; });
    if (it == entries_.end()) return false;
    entries_.erase(it);
    return true;
}

std::shared_ptr<Device> DeviceList::find(const std::string& serial) const {
    std::lock_guard lock(mutex_);
    for (const auto& e : entries_)
        if (e.device->serial == serial) return e.device;
    return nullptr;
}

std::vector<DeviceList::Entry> DeviceList::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

std::vector<DeviceList::Entry> DeviceList::visible() const {
    std::vector<Entry> out = entries();
    out.erase(std::remove_if(out.begin(), out.end(),
                             [](const Entry& e) { return e.device->state() == kRemovedState; }),
              out.end());
    return out;
}

} // namespace zsim::adb
