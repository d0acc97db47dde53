// The host folder and the temporary path as the rest of the library sees them: the system's
// answer, unless a test build put another folder in its place.
#include <string>

#include "platform/files.h"

#ifndef ZENTRO_TESTING

namespace zentro::platform {

std::string hostFolder() { return executableFolder(); }

std::string tempPath() { return systemTempPath(); }

} // namespace zentro::platform

#else

#include <mutex>

#include "platform/test_seams.h"

namespace zentro::platform {
namespace {

std::mutex g_overrideMutex;
std::string g_hostFolderOverride;
std::string g_tempPathOverride;

std::string overrideOr(const std::string& override, std::string (*system)()) {
    {
        std::lock_guard<std::mutex> lock(g_overrideMutex);
        if (!override.empty()) return override;
    }
    return system();
}

} // namespace

std::string hostFolder() { return overrideOr(g_hostFolderOverride, executableFolder); }

std::string tempPath() { return overrideOr(g_tempPathOverride, systemTempPath); }

void setHostFolderForTests(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    g_hostFolderOverride = folder;
}

void setTempPathForTests(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    g_tempPathOverride = folder;
}

} // namespace zentro::platform

#endif
