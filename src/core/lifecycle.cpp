#include "core/lifecycle.h"

#include <cstdio>
#include <string>

#include "bridge/adb_runner.h"
#include "bridge/usb_watcher.h"
#include "core/state.h"
#include "link/companion_bootstrap.h"
#include "platform/platform.h"

namespace zentro::core {

int initLibrary() {
    char* workFolder = state().workFolder;
    if (workFolder[0] == '\0') {
        // The first Init of a process empties what an earlier process left behind.
        std::string folder = platform::tempPath();
        if (folder.size() > 1024) folder.resize(1024);
        folder += "Temp_zentrolink";
        std::printf("ret = %d\n", platform::removeTree(folder.c_str()));
        std::fflush(stdout);
        platform::createFolder(folder.c_str());
        folder.push_back('/');
        copyText(workFolder, kWorkFolderSize, folder.c_str());
    }
    for (char* p = workFolder; *p; ++p) {
        if (*p == '\\') *p = '/';
    }
    bridge::startUsbWatcher();
    ensureTransferBuffer();
    return 0;
}

int uninitLibrary() {
    link::forceStopCompanion(0); // its result does not matter at shut-down
    bridge::launchDetached(platform::killAdbCommandLine(platform::hostFolder()).c_str());
    std::string second = platform::killDeviceServiceCommandLine();
    if (!second.empty()) bridge::launchDetached(second.c_str());
    return 0;
}

} // namespace zentro::core
