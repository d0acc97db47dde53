#include "records/date_key.h"

#include <limits>

#include "platform/clock.h"

namespace zentro::records {

namespace {

constexpr size_t kDateTextLength = 19; // "YYYY-MM-DD HH:MM:SS"
constexpr int64_t kUneven = std::numeric_limits<int64_t>::min();

// Decimal value of the leading digits of text[start, start + width), cut at `length`.
int fieldAt(const char* text, size_t length, size_t start, size_t width) {
    int value = 0;
    for (size_t i = start; i < start + width && i < length; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::tm localNow() {
    std::tm now{};
    platform::localTime(std::time(nullptr), now);
    return now;
}

// Overwrites the calendar fields of `now` and converts back, keeping now's daylight-saving
// flag (and whatever else the C library keeps in the structure).
int64_t convertAsLocal(const DateFields& fields, std::tm now) {
    now.tm_year = fields.year - 1900;
    now.tm_mon = fields.month - 1;
    now.tm_mday = fields.day;
    now.tm_hour = fields.hour;
    now.tm_min = fields.minute;
    now.tm_sec = fields.second;
    const std::time_t converted = std::mktime(&now);
    if (converted == static_cast<std::time_t>(-1)) return -1;
    return static_cast<int64_t>(converted);
}

} // namespace

DateFields readDateFields(const char* text) {
    size_t length = 0;
    while (length < kDateTextLength && text[length] != '\0') ++length;
    DateFields fields;
    fields.year = fieldAt(text, length, 0, 4);
    fields.month = fieldAt(text, length, 5, 2);
    fields.day = fieldAt(text, length, 8, 2);
    fields.hour = fieldAt(text, length, 11, 2);
    fields.minute = fieldAt(text, length, 14, 2);
    fields.second = fieldAt(text, length, 17, 2);
    return fields;
}

int64_t dateKey(const char* text) { return convertAsLocal(readDateFields(text), localNow()); }

DateKeyCalculator::DateKeyCalculator()
    : now_(localNow()) {}

DateKeyCalculator::DateKeyCalculator(int dstFlag)
    : now_(localNow()) {
    now_.tm_isdst = dstFlag;
}

int64_t DateKeyCalculator::key(const char* text) {
    const DateFields fields = readDateFields(text);
    // Minutes and seconds past 59 carry into the next hour; such keys are converted alone.
    if (fields.hour > 23 || fields.minute > 59 || fields.second > 59) return convert(fields);
    return dayBased(fields);
}

int64_t DateKeyCalculator::convert(const DateFields& fields) { return convertAsLocal(fields, now_); }

// A span converts evenly when its last second lies exactly its length after its first; zones
// change their offset at most once within a day, so a change inside the span shows there.
// A conversion result of -1 is ambiguous (rejected, or the second before 1970) and never
// taken as a base.
int64_t DateKeyCalculator::dayBased(const DateFields& fields) {
    const int64_t day = (static_cast<int64_t>(fields.year) * 100 + fields.month) * 100 + fields.day;
    int64_t base;
    if (day == lastDay_) {
        base = lastDayBase_;
    } else {
        auto found = days_.find(day);
        if (found != days_.end()) {
            base = found->second;
        } else {
            DateFields first = fields;
            first.hour = first.minute = first.second = 0;
            DateFields last = fields;
            last.hour = 23;
            last.minute = last.second = 59;
            const int64_t start = convert(first);
            const int64_t end = convert(last);
            base = (start != -1 && end != -1 && end - start == 86399) ? start : kUneven;
            days_.emplace(day, base);
        }
        lastDay_ = day;
        lastDayBase_ = base;
    }
    if (base == kUneven) return hourBased(fields);
    return base + fields.hour * 3600 + fields.minute * 60 + fields.second;
}

int64_t DateKeyCalculator::hourBased(const DateFields& fields) {
    const int64_t hour =
        ((static_cast<int64_t>(fields.year) * 100 + fields.month) * 100 + fields.day) * 100 + fields.hour;
    auto found = hours_.find(hour);
    int64_t base;
    if (found != hours_.end()) {
        base = found->second;
    } else {
        DateFields first = fields;
        first.minute = first.second = 0;
        DateFields last = fields;
        last.minute = last.second = 59;
        const int64_t start = convert(first);
        const int64_t end = convert(last);
        base = (start != -1 && end != -1 && end - start == 3599) ? start : kUneven;
        hours_.emplace(hour, base);
    }
    if (base == kUneven) return convert(fields);
    return base + fields.minute * 60 + fields.second;
}

} // namespace zentro::records
