// What every command of the zentro host shares: exit codes, the failure it throws, global
// options and the library session.
#pragma once

#include <stdexcept>
#include <string>

namespace zentro::cli {

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitInterrupted = 130 };

// A failed operation: one line that says what went wrong and what to do.
struct Failure : std::runtime_error {
    Failure(const std::string& message, int code = kExitFailed)
        : std::runtime_error(message)
        , exitCode(code) {}
    int exitCode;
};

struct Options {
    int device = 0;
    bool deviceGiven = false; // -d was on the command line
    std::string serial;       // -s, else ANDROID_SERIAL
    bool json = false;
    bool verbose = false;
};

Options& options();

// Starts the library once per run. Its start-up output ("ret = 0") and the log location go to
// standard error, and only with -v, so standard output stays the command's own.
void startLibrary();

// Makes sure the phone of --device is there and usable, asking adb only about rows that exist
// so no other adb user is disturbed. Throws Failure with advice otherwise.
void requirePhone();

// requirePhone, then checks that its companion answers (preparing it when asked).
void requirePreparedPhone();

// The path of the library's log file, as the library writes it.
std::string logLocation();

// A PC path as the library must get it: absolute against the user's working folder. The
// library runs adb from this program's folder, where a relative path would land.
std::string absolutePath(const std::string& path);

// Points --device at the phone the serial (-s, else ANDROID_SERIAL) names, by its place in the
// adb server's list. Throws Failure when the server does not list it.
void selectPhoneBySerial();

// The serial of the phone requirePhone accepted ("" before that).
std::string selectedSerial();

// Whether this adb server holds the forward of the phone's command port to that phone.
bool ownsChannelPort();

// Call once the companion has answered: throws Failure unless the answer can only have come
// from the phone asked for (another adb server, or another program, may hold the local port).
void requireOwnChannel();

} // namespace zentro::cli
