#include "formats/dates.h"

#include <cstdio>
#include <ctime>

namespace zentro::cli {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int daysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads exactly n digits at `at`; false when any is missing.
bool number(std::string_view s, size_t at, size_t n, int& out) {
    if (at + n > s.size()) return false;
    out = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (!isDigit(s[i])) return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

ParsedDate refused(std::string_view text, const std::string& why) {
    return {std::nullopt, "'" + std::string(text) + "' is not a date" +
                              (why.empty() ? "" : " (" + why + ")") + ": use " + kDateForms};
}

std::tm localFields(int64_t millis) {
    int64_t seconds = millis / 1000;
    if (millis % 1000 < 0) --seconds; // whole seconds towards the past
    const std::time_t when = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&when, &local);
    return local;
}

std::string formatted(int64_t millis, const char* format) {
    const std::tm local = localFields(millis);
    char text[64];
    return std::strftime(text, sizeof text, format, &local) > 0 ? text : "";
}

} // namespace

ParsedDate parseDate(std::string_view text) {
    const std::string_view original = text;
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return refused(original, "empty");

    size_t digits = 0;
    while (digits < text.size() && isDigit(text[digits])) ++digits;
    if (digits == text.size()) {
        // A short plain number is far likelier a mistyped date (20261208) than a moment in 1970.
        if (digits < 9)
            return refused(original, "a plain number counts milliseconds and needs 9 digits or more");
        if (digits > 15) return refused(original, "too far in the future");
        int64_t millis = 0;
        for (char c : text) millis = millis * 10 + (c - '0');
        return {millis, ""};
    }

    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, fraction = 0;
    if (text.size() < 10 || !number(text, 0, 4, year) || text[4] != '-' || !number(text, 5, 2, month) ||
        text[7] != '-' || !number(text, 8, 2, day))
        return refused(original, "");
    size_t at = 10;
    std::optional<int> offsetMinutes;
    if (at < text.size()) {
        const char separator = text[at];
        if (separator != ' ' && separator != 'T' && separator != 't') return refused(original, "");
        if (!number(text, at + 1, 2, hour) || at + 3 >= text.size() || text[at + 3] != ':' ||
            !number(text, at + 4, 2, minute))
            return refused(original, "the time reads HH:MM or HH:MM:SS");
        at += 6;
        if (at < text.size() && text[at] == ':') {
            if (!number(text, at + 1, 2, second))
                return refused(original, "the time reads HH:MM or HH:MM:SS");
            at += 3;
            if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
                size_t end = at + 1;
                int scale = 100;
                while (end < text.size() && isDigit(text[end])) {
                    fraction += (text[end] - '0') * scale;
                    scale /= 10;
                    ++end;
                }
                if (end == at + 1) return refused(original, "a fraction of a second needs digits");
                at = end;
            }
        }
        if (at < text.size()) {
            const char sign = text[at];
            int offsetHours = 0, offsetMins = 0;
            if ((sign == 'Z' || sign == 'z') && at + 1 == text.size()) {
                offsetMinutes = 0;
            } else if ((sign == '+' || sign == '-') && number(text, at + 1, 2, offsetHours)) {
                const std::string_view rest = text.substr(at + 3);
                const bool ok = rest.empty() || (rest.size() == 2 && number(rest, 0, 2, offsetMins)) ||
                                (rest.size() == 3 && rest[0] == ':' && number(rest, 1, 2, offsetMins));
                if (!ok || offsetHours > 23 || offsetMins > 59)
                    return refused(original, "an offset reads Z, +HH, +HHMM or +HH:MM");
                offsetMinutes = (sign == '-' ? -1 : 1) * (offsetHours * 60 + offsetMins);
            } else {
                return refused(original, "");
            }
        }
    }

    if (year < 1900) return refused(original, "year before 1900");
    if (month < 1 || month > 12) return refused(original, "no month " + std::to_string(month));
    if (day < 1 || day > daysInMonth(year, month))
        return refused(original, "no day " + std::to_string(day) + " in that month");
    if (hour > 23 || minute > 59 || second > 59) return refused(original, "no such time of day");

    int64_t seconds = 0;
    if (offsetMinutes) {
        seconds = daysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second -
                  int64_t{*offsetMinutes} * 60;
    } else {
        std::tm local{};
        local.tm_year = year - 1900;
        local.tm_mon = month - 1;
        local.tm_mday = day;
        local.tm_hour = hour;
        local.tm_min = minute;
        local.tm_sec = second;
        local.tm_isdst = -1; // the zone's own rule for that day
        const std::time_t when = std::mktime(&local);
        if (when == static_cast<std::time_t>(-1) && local.tm_year != 69)
            return refused(original, "outside this computer's calendar");
        seconds = static_cast<int64_t>(when);
    }
    return {seconds * 1000 + fraction, ""};
}

std::string phoneDateText(int64_t millis) { return formatted(millis, "%Y-%m-%d %H:%M:%S"); }

std::string shortLocalDate(int64_t millis) { return formatted(millis, "%Y-%m-%d %H:%M"); }

std::string isoLocalDate(int64_t millis) {
    const std::tm local = localFields(millis);
    char text[64];
    if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local) == 0) return "";
    const long offset = local.tm_gmtoff / 60;
    if (offset == 0) return std::string(text) + "Z";
    char zone[32];
    const long size = offset < 0 ? -offset : offset;
    std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset < 0 ? '-' : '+', size / 60, size % 60);
    return text + std::string(zone);
}

} // namespace zentro::cli
