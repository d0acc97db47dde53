// The date key of messages and calls: a "YYYY-MM-DD HH:MM:SS" text read as local time into a
// signed 64-bit second count. The phone's texts are not checked: each field is the decimal
// value of the leading digits of its fixed place (0 when there are none or the text ends
// before it), and whatever the local-time conversion makes of the result is the key. The
// daylight-saving flag is the one in force now, not the one of the date, so a summer date read
// in winter (or the reverse) lands an hour off; hosts have always sorted by that key.
#pragma once

#include <cstdint>
#include <ctime>
#include <unordered_map>

namespace zentro::records {

// The six calendar fields of a date text, as read from their fixed places.
struct DateFields {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

DateFields readDateFields(const char* text); // `text` must not be null

// The key of one text under the current local daylight-saving flag; -1 when the local-time
// conversion rejects the date. `text` must not be null.
int64_t dateKey(const char* text);

// Keys of many texts under one reading of "now". Gives exactly what dateKey gives at that
// moment, but converts through the C library (which re-reads the zone on every call) only once
// or twice per calendar day: where a whole day converts evenly, the seconds within it are added
// by arithmetic; a day holding a zone change falls back to its hours, and an uneven hour to one
// conversion per key. A local time that occurs twice under one flag, or not at all (a standard
// offset moved), has two readings, and the C library picks by the offset of its previous call;
// here such a time gets one of the two, as it does from any sequence of conversions.
class DateKeyCalculator {
public:
    DateKeyCalculator();                     // the daylight-saving flag in force now
    explicit DateKeyCalculator(int dstFlag); // a given flag (tests cover both seasons)

    int64_t key(const char* text); // `text` must not be null

private:
    int64_t convert(const DateFields& fields);
    int64_t dayBased(const DateFields& fields);
    int64_t hourBased(const DateFields& fields);

    std::tm now_{};
    // Conversion of the first second of a day or hour, or kUneven when that span does not
    // convert evenly. Keys pack the raw fields, so out-of-range days and months (which the
    // conversion carries over) get spans of their own.
    std::unordered_map<int64_t, int64_t> days_;
    std::unordered_map<int64_t, int64_t> hours_;
    int64_t lastDay_ = -1; // packed day of the last lookup and its entry
    int64_t lastDayBase_ = 0;
};

} // namespace zentro::records
