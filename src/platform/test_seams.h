// Seams for the test programs only: nothing in the product calls these, and only test builds
// (ZENTRO_TESTING) compile them.
#pragma once

#ifndef ZENTRO_TESTING
#error "test seams are compiled into test builds only"
#endif

#include <string>

namespace zentro::platform {

// Put another folder in place of the host folder or the temporary path; empty restores the
// system's answer.
void setHostFolderForTests(const std::string& folder);
void setTempPathForTests(const std::string& folder);

// Where Linux builds look for sysfs ("/sys"; empty restores it). Windows builds ignore it.
void setSysfsRootForTests(const std::string& root);
// Whether listDeviceInstanceIds reads sysfs (and thus follows setSysfsRootForTests).
bool deviceIdsComeFromSysfs();

// Hands raw uevent bytes to the running device-change loop, which treats them on its own
// thread exactly as a message from the kernel (Windows turns them into the matching
// device-change broadcast to the hidden window). Returns once the loop handled them; false when
// no loop runs or it did not answer within 10 s.
bool injectUeventForTests(const std::string& raw);

} // namespace zentro::platform
