// Dates as people type them and as phones store them. Pure: the only outside input is the C
// library's local-time rules (TZ).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zentro::cli {

// Milliseconds since 1970 from one of:
//   YYYY-MM-DD                       local midnight
//   YYYY-MM-DD HH:MM[:SS[.fff]]      local time; 'T' may stand for the blank (ISO 8601)
//   ... followed by Z, +HH, +HHMM or +HH:MM (or -)   that offset from UTC instead
//   a plain number of 9 digits or more              milliseconds since 1970
// On failure `error` says what is wrong with the text.
struct ParsedDate {
    std::optional<int64_t> millis;
    std::string error;
};
ParsedDate parseDate(std::string_view text);

// How a typed date is asked for, for help texts and messages.
inline constexpr const char* kDateForms =
    "YYYY-MM-DD[ HH:MM[:SS]] in local time, ISO 8601 (2026-12-24T18:00+01:00) or milliseconds since 1970";

// "YYYY-MM-DD HH:MM:SS" in local time: the form phones keep message and call dates in.
std::string phoneDateText(int64_t millis);

// "YYYY-MM-DD HH:MM" in local time, for tables.
std::string shortLocalDate(int64_t millis);

// ISO 8601 in local time with its offset: "2026-12-07T10:30:00+01:00" ("Z" in UTC).
std::string isoLocalDate(int64_t millis);

} // namespace zentro::cli
