#include "records/calendar.h"

#include <cstddef>

namespace zentro::records {
namespace {

using link::FieldRule;
using link::storeOwnedText;

constexpr FieldRule<CalenderRecord> kFields[] = {
    {"ID", storeOwnedText<&CalenderRecord::id>},
    {"CALENDARID", storeOwnedText<&CalenderRecord::calendarId>},
    {"TITLE", storeOwnedText<&CalenderRecord::title>},
    {"START", storeOwnedText<&CalenderRecord::start>},
    {"END", storeOwnedText<&CalenderRecord::end>},
    {"EVENTLOC", storeOwnedText<&CalenderRecord::location>},
    {"EVENTTZ", storeOwnedText<&CalenderRecord::timeZone>},
    {"DESCRIPTION", storeOwnedText<&CalenderRecord::description>},
    {"HASALARM", storeOwnedText<&CalenderRecord::hasAlarm>},
    {"MINUTES", storeOwnedText<&CalenderRecord::reminderMinutes>},
    {"RRULE", storeOwnedText<&CalenderRecord::recurrenceRule>},
};

constexpr size_t kTexts = 11; // id .. recurrence rule
static_assert(offsetof(CalenderRecord, recurrenceRule) == (kTexts - 1) * sizeof(char*));
static_assert(offsetof(CalenderRecord, flags1) == kTexts * sizeof(char*));

constexpr ListKind<CalenderRecord> kEvents{
    kFields, kTexts, "getcalendarcount;", "getcalendarpart10:%d;", Insertion::AtTail, false, "events"};

RecordList<CalenderRecord> g_list{kEvents};

} // namespace

RecordList<CalenderRecord>& calendarList() { return g_list; }

int32_t handOutCalendar(CalenderRecord** out) { return g_list.handOut(out) < 0 ? -1 : 0; }

} // namespace zentro::records
