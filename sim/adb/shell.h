// The phone's shell, as far as adb and the library use it: getprop, am, pm, rm, ls, cat,
// mkdir, echo and screencap over the Device model. Everything else answers as a missing
// command does on a phone ("/system/bin/sh: <word>: not found").
#pragma once

#include <string>

#include "device.h"

namespace zsim::adb {

inline constexpr const char* kCompanionPackage = "com.vantrey.pocketdesk";

struct ShellResult {
    std::string output; // what the legacy shell service sends: standard output and error
    int status = 0;     // of the last command
};

// Runs one command line (as sent after "shell:") against the device.
ShellResult runShell(Device& device, const std::string& commandLine);

// The package an install file declares ("package=<name>" on a line of its own), or "" when
// it declares none or an invalid name.
std::string packageOfInstallFile(const std::string& bytes);

} // namespace zsim::adb
