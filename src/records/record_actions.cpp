#include "records/record_actions.h"

#include <cstring>

#include "core/state.h"
#include "link/command_channel.h"
#include "records/action_command.h"

namespace zentro::records {

namespace {

constexpr int kVersionDigits = 11; // digits kept per release component
constexpr int kDefaultPackageArea = 1024;

// An event without a recurrence rule goes out with one blank in its place, the companion's
// form of "does not recur".
const char* ruleOrBlank(const char* rule) { return rule == nullptr || rule[0] == '\0' ? " " : rule; }

} // namespace

int32_t sendSms(const SmsRecord* message, int32_t deviceIndex) {
    if (message == nullptr) return -1;
    ActionCommand command("SendSMS:", kMessageCommandBuffer);
    // "-1" asks the companion to find the thread of the address itself.
    command.hexItems({{message->address},
                      {message->body, kBodyBytes},
                      {message->date},
                      {message->read},
                      {"-1"},
                      {message->type}});
    command.plain(';');
    return sendForStatus(command, deviceIndex);
}

int32_t clearSms(int32_t deviceIndex) { return sendForStatus("ClearSMS;", deviceIndex); }

int32_t androidVersionAt44(int32_t deviceIndex) {
    if (deviceIndex < 0 || deviceIndex >= core::state().connectAndroidCount) return 0;
    const core::DeviceEntry* row = core::deviceRow(deviceIndex);
    if (row == nullptr) return 0;

    // "4.4.2" -> major 4, minor 4; later components and anything not a digit do not count.
    int64_t value[2] = {0, 0};
    int digits[2] = {0, 0};
    int component = 0;
    const char* release = row->androidVersion;
    for (size_t i = 0; i < sizeof row->androidVersion && release[i] != '\0'; ++i) {
        const char c = release[i];
        if (c == '.') {
            if (component < 2) ++component;
            continue;
        }
        if (c < '0' || c > '9' || component > 1 || digits[component] == kVersionDigits) continue;
        value[component] = value[component] * 10 + (c - '0');
        ++digits[component];
    }
    return value[0] * 10 + value[1] >= 44 ? 1 : 0;
}

int32_t setDefaultMessaging(int32_t deviceIndex) {
    if (androidVersionAt44(deviceIndex) == 0) return 0;
    return sendForStatus("SetDefaultMessage;", deviceIndex);
}

int32_t resetDefaultMessaging(int32_t deviceIndex) {
    if (androidVersionAt44(deviceIndex) == 0) return 0;
    return sendForStatus("ReSetDefaultMessage;", deviceIndex);
}

int32_t checkDefaultMessaging(int32_t deviceIndex) {
    if (androidVersionAt44(deviceIndex) == 0) return 0;
    // Plain text; one byte is kept back so the area always ends in a zero byte.
    char package[kDefaultPackageArea] = {};
    link::sendCommand("GetDefaultMessage_pkgName;", package, kDefaultPackageArea - 1, nullptr, 0,
                      deviceIndex);
    return std::strcmp(package, kManagerPackage) == 0 ? 0 : -1;
}

int32_t clearCallLog(int32_t deviceIndex) { return sendForStatus("ClearCallHistory;", deviceIndex); }

int32_t addCall(const CallHistoryRecord* call, int32_t deviceIndex) {
    if (call == nullptr) return -1;
    ActionCommand command("AddCallHistory:", kAddCommandBuffer);
    command.hexItems({{call->number}, {call->date}, {call->type}, {call->duration}});
    command.plain(';');
    return sendForStatus(command, deviceIndex);
}

int32_t clearCalendar(int32_t deviceIndex) { return sendForStatus("ClearCalender;", deviceIndex); }

int32_t addEvent(const CalenderRecord* event, int32_t deviceIndex) {
    if (event == nullptr) return -1;
    ActionCommand command("AddCalender:", kAddCommandBuffer);
    command.hexItems({{event->title},
                      {event->start},
                      {event->end},
                      {event->location},
                      {event->timeZone},
                      {event->description},
                      {event->hasAlarm},
                      {event->reminderMinutes},
                      {ruleOrBlank(event->recurrenceRule)}});
    command.plain(';');
    return sendForStatus(command, deviceIndex);
}

} // namespace zentro::records
