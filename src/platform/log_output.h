// Where diagnostics go: the log file and the debugger output.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zentro::platform {

// A file opened afresh for the diagnostic log (shared for reading, writing and deleting).
intptr_t createLogFile(const char* path); // 0 on failure
bool writeLogFile(intptr_t file, const char* data, size_t size);

// The debugger output: OutputDebugString on Windows; standard error while a debugger is
// attached on Linux.
void debuggerOutput(const char* text);

} // namespace zentro::platform
