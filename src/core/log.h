// Diagnostic log: one file per run in <documents>/LogFiles/zentrolink.log, the same text to the
// debugger output. No levels, no buffering, one write per message.
#pragma once

#include <string>

namespace zentro::core {

constexpr int kLogMessageSize = 4100;

// `level` is accepted for the callers' sake and changes nothing. A null format writes nothing
// (but still opens the file). Messages longer than the buffer are cut.
void log(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes "file:<file>, line:<line>\n" and the message as one piece.
void logAt(const char* file, int line, int level, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// "Call Function: <name>\n", the first line of most exports.
void logCall(const char* exportName);

// Where the log file is (empty until it was opened).
std::string logFilePath();

} // namespace zentro::core
