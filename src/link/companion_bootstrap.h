// Bringing a phone's companion application into service: stop and remove old copies, install
// the package beside the host, start it and check with a handshake that it answers.
#pragma once

#include <cstdint>

namespace zentro::link {

constexpr const char* kCompanionPackage = "com.vantrey.pocketdesk";
constexpr const char* kCompanionActivity = "com.vantrey.pocketdesk.ui.MainActivity";
constexpr const char* kOldCompanionPackage = "com.vantrey.zentrolink";
constexpr const char* kCompanionPackageFile = "zentrolink.apk";
constexpr const char* kHandshakeCommand = "hello-transfer;";
constexpr const char* kHandshakeReply = "HI-PC";
constexpr const char* kUsbStartNotice = "sync_android_USBStart;";

// Prepares the phone of `deviceIndex` and publishes progress through core::readyProgress():
// 10, then for a USB phone 20, 30, 50, 70 and 100 as the steps pass. 0 when the companion
// answers, -1 when a step failed (the progress stays at the last step reached).
int preparePhone(int32_t deviceIndex);

// 0 when the companion answers "hello-transfer;" with exactly "HI-PC", else -1.
int checkIsConnectToOursAndroidServices(int32_t deviceIndex);

// The single steps, each one adb run for the device row's serial.
int forceStopCompanion(int32_t deviceIndex); // bounded wait; 0 or -1
int removeOldPackages(int32_t deviceIndex);  // result of the second uninstall
int installCompanion(int32_t deviceIndex);
int startCompanion(int32_t deviceIndex);
void sendStartNotice(int32_t deviceIndex); // only for a counted row; reply not read

} // namespace zentro::link
