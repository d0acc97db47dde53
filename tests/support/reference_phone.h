// The phone's own data, generated from the same serial and seed as the virtual phone's, so the
// end-to-end tests compare what arrives with what the phone holds. Needs zsim (e2e programs).
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "companion/commands.h"
#include "scenario.h"

namespace ztest {

struct ReferencePhone {
    ReferencePhone(const std::string& serial, uint32_t seed)
        : device(zsim::makeDevice(serial, seed))
        , companion(*device) {}
    // A count command's answer (-1 when the reply is not four bytes).
    int32_t count(const std::string& command) {
        const std::string reply = companion.handle(zsim::companion::makeRequest(command));
        int32_t value = -1;
        if (reply.size() == 4) std::memcpy(&value, reply.data(), 4);
        return value;
    }
    // The bytes of a file the companion reports under its storage root. The media files exist
    // once the companion has counted them, as on the phone the test talks to.
    std::string fileAt(const std::string& storagePath) {
        if (!counted_) {
            for (const char* command : {"getdcimcount;", "getmusiccount;", "getvideocount;"}) count(command);
            counted_ = true;
        }
        const std::string root = "/storage/emulated/0";
        if (storagePath.compare(0, root.size(), root) != 0) return "<outside the storage root>";
        const auto bytes = device->files.read("/sdcard" + storagePath.substr(root.size()));
        return bytes ? *bytes : std::string("<missing>");
    }
    std::shared_ptr<zsim::Device> device;
    zsim::companion::CompanionState companion;

private:
    bool counted_ = false;
};

} // namespace ztest
