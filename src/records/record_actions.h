// Actions on the phone's messages, call log and calendar: send a message, add a call or an
// event, clear each kind, and manage the default messaging application. Each is one command to
// the companion answered by a 4-byte status; nothing here keeps state or touches the lists.
#pragma once

#include <cstdint>

#include "zentrolink.h"

namespace zentro::records {

// The package that must be the phone's default messaging application.
constexpr const char* kManagerPackage = "com.vantrey.pocketdesk";

// "SendSMS:" with address, body, date, read-state, "-1" and type as hex items. The companion's
// answer (0 when none); -1 for a null message, nothing sent.
int32_t sendSms(const SmsRecord* message, int32_t deviceIndex);
int32_t clearSms(int32_t deviceIndex);

// 1 when the device row is in use and its Android release is 4.4 or later, else 0.
int32_t androidVersionAt44(int32_t deviceIndex);
// Only on phones that pass the 4.4 rule (else 0, nothing sent): the companion's answer.
int32_t setDefaultMessaging(int32_t deviceIndex);
int32_t resetDefaultMessaging(int32_t deviceIndex);
// 0 when the rule does not hold or the manager package is the default now, else -1.
int32_t checkDefaultMessaging(int32_t deviceIndex);

int32_t clearCallLog(int32_t deviceIndex);
// "AddCallHistory:" with number, date, type and duration. -1 for a null record.
int32_t addCall(const CallHistoryRecord* call, int32_t deviceIndex);

int32_t clearCalendar(int32_t deviceIndex);
// "AddCalender:" with fields title to recurrence rule; a missing rule is sent as one blank.
// -1 for a null record.
int32_t addEvent(const CalenderRecord* event, int32_t deviceIndex);

} // namespace zentro::records
