// Ctrl-C: long commands poll this flag, call the library's abort and exit with status 130. A
// phone that goes away mid-command stops the work the same way, with its own message.
#pragma once

#include <string>

namespace zentro::cli {

void watchInterrupts();
// True after Ctrl-C, and after phoneGone was called.
bool interrupted();
void forgetInterrupt();

// The work stops because the phone with this serial left the adb server's list.
void phoneGone(const std::string& serial);
// Its serial, or "" while every phone is there.
std::string gonePhone();

// A second Ctrl-C ends the process at once; this folder (the private temporary one) is removed
// first, as a normal exit would.
void removeOnHardExit(const std::string& folder);

} // namespace zentro::cli
