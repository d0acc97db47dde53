#include "bridge/device_properties.h"

#include <cstdio>
#include <cstring>

#include "bridge/adb_runner.h"
#include "bridge/device_list.h"

namespace zentro::bridge {
namespace {

// Property replies are a value and a line end; anything this long is not one.
constexpr size_t kMaxPropertyBytes = 63;

} // namespace

CaptureResult captureAdbOutput(const char* args, size_t maxBytes, bool deleteTooLarge, std::string& text) {
    text.clear();
    char path[kCommandLineSize];
    makeTempOutputPath(path);
    std::remove(path);
    runAdbCapturing(args, path); // a child that could not start leaves no file to read

    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return CaptureResult::Unreadable;
    CaptureResult result = CaptureResult::Read;
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        result = CaptureResult::Unreadable;
    } else if (static_cast<unsigned long>(size) > maxBytes) {
        result = CaptureResult::TooLarge;
    } else {
        text.resize(static_cast<size_t>(size));
        text.resize(std::fread(text.data(), 1, text.size(), file));
        toTextMode(text);
    }
    std::fclose(file);
    if (result != CaptureResult::TooLarge || deleteTooLarge) std::remove(path);
    return result;
}

void storeVersion(core::DeviceEntry& row, const std::string& output) {
    core::copyText(row.versionText, sizeof row.versionText, output.data(),
                   output.size()); // a zero byte ends it
    core::copyText(row.androidVersion, sizeof row.androidVersion, row.versionText);
}

void storeModel(core::DeviceEntry& row, const std::string& output) {
    core::copyText(row.model, sizeof row.model, output.data(), output.size()); // a zero byte ends it
    row.model[62] = '\0';
    blankUnsafeCharacters(row.model);
}

void storeBrand(core::DeviceEntry& row, const std::string& output) {
    core::copyText(row.brand, sizeof row.brand, output.data(), output.size()); // a zero byte ends it
    row.brand[127] = '\0';
    blankUnsafeCharacters(row.brand);
}

void storeBuildPda(core::DeviceEntry& row, const std::string& output) {
    core::copyText(row.buildPda, sizeof row.buildPda, output.data(), output.size()); // a zero byte ends it
}

bool readDeviceProperties(int deviceIndex) {
    core::DeviceEntry* row = core::deviceRow(deviceIndex);
    if (row == nullptr || !plainAdbWord(row->serial, "serial of getprop")) return false;
    struct Query {
        const char* property;
        void (*store)(core::DeviceEntry&, const std::string&);
    };
    static const Query kQueries[] = {
        {"ro.build.version.release", storeVersion},
        {"ro.product.model", storeModel},
        {"ro.product.manufacturer", storeBrand},
        {"ro.build.PDA", storeBuildPda},
    };
    char args[kCommandLineSize];
    std::string output;
    for (const Query& query : kQueries) {
        std::snprintf(args, sizeof args, "-s %s shell getprop %s", row->serial, query.property);
        if (captureAdbOutput(args, kMaxPropertyBytes, true, output) == CaptureResult::Read) {
            query.store(*row, output);
        }
    }
    return true;
}

} // namespace zentro::bridge
