// The phones one server offers, in the order `adb devices` lists them.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device.h"

namespace zsim::adb {

// A device whose state is "removed" stays in the list (so a test can bring it back) but adb
// does not see it.
inline constexpr const char* kRemovedState = "removed";

class DeviceList {
public:
    struct Entry {
        std::shared_ptr<Device> device;
        uint64_t transportId = 0;
    };

    // False when the serial is taken.
    bool add(std::shared_ptr<Device> device);
    bool remove(const std::string& serial);
    std::shared_ptr<Device> find(const std::string& serial) const;
    std::vector<Entry> entries() const;
    // The devices adb sees (state not "removed").
    std::vector<Entry> visible() const;

private:
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    uint64_t nextTransportId_ = 1;
};

} // namespace zsim::adb
