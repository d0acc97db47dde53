// Start-up and shut-down: they orchestrate the bridge (USB watcher, adb) and the link
// (companion), so they live at the top.
#include "api/lifecycle.h"

#include <string>

#include "bridge/adb_runner.h"
#include "bridge/usb_watcher.h"
#include "core/state.h"
#include "link/companion_bootstrap.h"
#include "platform/files.h"
#include "platform/process.h"

namespace zentro::api {

int initLibrary() {
    // Only the first Init of a process empties what an earlier process left behind. The folder
    // name is known to hosts and installers that clean up after us.
    if (core::state().workFolder[0] == '\0') core::setWorkFolder("Temp_zentrolink", true);
    bridge::startUsbWatcher();
    core::ensureTransferBuffer();
    return 0;
}

int uninitLibrary() {
    link::forceStopCompanion(0); // its result does not matter at shut-down
    bridge::launchDetached(platform::killAdbCommandLine(platform::hostFolder()).c_str());
    std::string second = platform::killDeviceServiceCommandLine();
    if (!second.empty()) bridge::launchDetached(second.c_str());
    return 0;
}

} // namespace zentro::api
