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

} // namespace zentro::cli
