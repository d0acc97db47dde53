// Applications: the companion lists them one entry at a time into the host's record; packages
// are installed, uninstalled and exported with adb alone (refused for a phone on WiFi).
#pragma once

#include <cstdint>

#include "zentrolink.h"

namespace zentro::apps {

// "flushapplist;" and "getappcount;": the reply integer, 0 when nothing came.
int32_t refreshAppList(int32_t deviceIndex);
int32_t appCount(int32_t deviceIndex);

// Clears the whole record, then fills it from the first record of "getappindexinfo:<index>;".
// Texts are cut to 254 bytes (permissions to its 127). 0, or -1 (null record, failed send,
// empty reply).
int32_t appInfo(AppInfoRecord* record, int32_t index, int32_t deviceIndex);

// Mode 1..5 picks the install options (-l, -r, -s, none, -r -s). 0 once adb ran, also without
// running anything for a WiFi phone; -1 for another mode, a start failure, or a path that holds
// a double quote or would not fit the command line.
int32_t installPackage(const char* packagePath, int32_t mode, int32_t deviceIndex);

// Mode 1 plain, 2 keeping data ("-k"). 0 once adb ran; -1 for another mode, a WiFi phone, a
// start failure, or a name that would not fit.
int32_t uninstallPackage(const char* packageName, int32_t mode, int32_t deviceIndex);

// Pulls /data/app/<package>-1.apk to `outputPath`. 0 once adb ran; -1 for a WiFi phone, a start
// failure, or arguments that would not fit.
int32_t exportPackage(const char* packageName, const char* outputPath, int32_t deviceIndex);

// Moving an installed application between memory and card is not offered: always -1.
int32_t moveApp();

} // namespace zentro::apps
