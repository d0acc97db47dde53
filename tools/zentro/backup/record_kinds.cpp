#include "backup/record_kinds.h"

#include <algorithm>
#include <map>
#include <optional>

#include "cli.h"
#include "formats/backup_formats.h"
#include "interrupt.h"
#include "progress.h"
#include "zentrolink.h"

namespace zentro::cli {
namespace {

size_t field(const RecordKind& kind, const char* name) {
    auto it = std::find(kind.fields.begin(), kind.fields.end(), name);
    if (it == kind.fields.end()) throw Failure(std::string("no field ") + name + " in " + kind.noun);
    return static_cast<size_t>(it - kind.fields.begin());
}

std::vector<size_t> fields(const RecordKind& kind, std::initializer_list<const char*> names) {
    std::vector<size_t> out;
    for (const char* name : names) out.push_back(field(kind, name));
    return out;
}

const std::string& text(const Row& row, size_t i) {
    static const std::string empty;
    return i < row.size() && row[i] ? *row[i] : empty;
}

// A row's texts as the char* fields the add exports read; empty texts go as null.
struct Texts {
    Texts(const RecordKind& kind, const Row& row)
        : kind_(kind) {
        for (size_t i = 0; i < kind.fields.size(); ++i) store_.push_back(text(row, i));
        for (std::string& t : store_) pointers_.push_back(t.empty() ? nullptr : t.data());
    }
    char* operator[](const char* name) { return pointers_[field(kind_, name)]; }
    char** all() { return pointers_.data(); }

private:
    const RecordKind& kind_;
    std::vector<std::string> store_;
    std::vector<char*> pointers_;
};

void oneContactName(Row& row) {
    row.resize(contactKind().fields.size());
    const std::string first = text(row, ZENTRO_PERSON_NAME), last = text(row, ZENTRO_PERSON_LAST_NAME);
    const std::string name = first + (first.empty() || last.empty() ? "" : " ") + last;
    row[ZENTRO_PERSON_NAME] = name.empty() ? Cell() : Cell(name);
    row[ZENTRO_PERSON_LAST_NAME].reset();
}

bool addContact(const Row& row, int32_t device) {
    Row fields = row;
    oneContactName(fields);
    Texts texts(contactKind(), fields);
    return Zentro_AddPerson3(texts.all(), device) > 0;
}

bool addEvent(const Row& row, int32_t device) {
    Texts t(eventKind(), row);
    CalenderRecord event{};
    event.calendarId = t["calendarId"];
    event.title = t["title"];
    event.start = t["start"];
    event.end = t["end"];
    event.location = t["location"];
    event.timeZone = t["timeZone"];
    event.description = t["description"];
    event.hasAlarm = t["hasAlarm"];
    event.reminderMinutes = t["reminderMinutes"];
    event.recurrenceRule = t["recurrenceRule"];
    return Zentro_AddCalender(&event, device) >= 0;
}

bool addCall(const Row& row, int32_t device) {
    Texts t(callKind(), row);
    CallHistoryRecord call{};
    call.name = t["name"];
    call.number = t["number"];
    call.date = t["date"];
    call.type = t["type"];
    call.duration = t["duration"];
    return Zentro_AddCallHistory(&call, device) >= 0;
}

bool addMessage(const Row& row, int32_t device) {
    Texts t(messageKind(), row);
    SmsRecord message{};
    message.address = t["address"];
    message.body = t["body"];
    message.date = t["date"];
    message.type = t["type"];
    message.read = t["read"];
    return Zentro_SendSMS(&message, device) >= 0;
}

// Hands the default-messaging role back however the adding of messages ends.
class DefaultMessagingRole {
public:
    explicit DefaultMessagingRole(int32_t device)
        : device_(device) {
        if (Zentro_CheckAndroidVersionAt44(device_) != 1) return;
        taken_ = true;
        Zentro_SetDefaultMessage(device_);
        if (Zentro_CheckDefaultMessangeOK(device_) != 0)
            throw Failure("the phone did not make the companion its messaging application; accept the "
                          "question on the phone and run the command again");
    }
    ~DefaultMessagingRole() {
        if (taken_) Zentro_ReSetDefaultMessage(device_);
    }
    DefaultMessagingRole(const DefaultMessagingRole&) = delete;
    DefaultMessagingRole& operator=(const DefaultMessagingRole&) = delete;

private:
    int32_t device_;
    bool taken_ = false;
};

} // namespace

DeviceScope::DeviceScope(int32_t device)
    : saved_(options().device) {
    options().device = device;
}
DeviceScope::~DeviceScope() { options().device = saved_; }

const std::vector<BackupKind>& backupKinds() {
    static const std::vector<BackupKind> kinds = [] {
        const RecordKind &e = eventKind(), &l = callKind(), &m = messageKind();
        std::vector<size_t> person;
        for (size_t f = ZENTRO_PERSON_NAME; f <= ZENTRO_PERSON_WORK_EMAIL; ++f) {
            if (f != ZENTRO_PERSON_LAST_NAME && f != ZENTRO_PERSON_ORG_TITLE + 1 &&
                f != ZENTRO_PERSON_ORG_TITLE + 2)
                person.push_back(f);
        }
        return std::vector<BackupKind>{
            {"contacts", contactKind, "contacts.vcf", contactsToVCards, contactsFromVCards, person,
             addContact, oneContactName},
            {"calendar", eventKind, "calendar.ics", eventsToIcs, eventsFromIcs,
             fields(e, {"title", "start", "end", "location", "description", "timeZone", "hasAlarm",
                        "reminderMinutes", "recurrenceRule"}),
             addEvent, nullptr},
            {"calls", callKind, "calls.csv",
             [](const std::vector<Row>& rows) { return toCsv(callKind().fields, rows); },
             [](const std::string& t) { return rowsFromCsv(callKind().fields, t); },
             fields(l, {"number", "date", "type", "duration"}), addCall, nullptr},
            {"messages", messageKind, "messages.json",
             [](const std::vector<Row>& rows) { return rowsToJson(messageKind(), rows); },
             [](const std::string& t) { return rowsFromJson(messageKind().fields, t); },
             fields(m, {"address", "date", "type", "read", "body"}), addMessage, nullptr},
        };
    }();
    return kinds;
}

const BackupKind* backupKind(const std::string& name) {
    for (const BackupKind& kind : backupKinds()) {
        if (name == kind.name) return &kind;
    }
    return nullptr;
}

std::string identityOf(const BackupKind& kind, const Row& row) {
    std::string key;
    for (size_t f : kind.identity) {
        // Length-prefixed: no text can make two different rows meet.
        const std::string& t = text(row, f);
        key += std::to_string(t.size()) + ':' + t;
    }
    return key;
}

std::vector<Row> readAll(const BackupKind& kind, int32_t device) {
    DeviceScope scope(device);
    RecordSet set = readRecords(kind.records());
    if (!set.complete)
        throw Failure(std::string("reading the phone's ") + kind.name + " was interrupted", kExitInterrupted);
    return std::move(set.rows);
}

Tally addMissing(const BackupKind& kind, const std::vector<Row>& rows, int32_t device, bool dryRun) {
    Tally tally;
    if (rows.empty()) return tally;
    // A multiset: two equal records in the backup are two on the phone.
    std::map<std::string, size_t> present;
    for (Row& row : readAll(kind, device)) {
        if (kind.asPhoneKeeps != nullptr) kind.asPhoneKeeps(row);
        ++present[identityOf(kind, row)];
    }
    std::vector<const Row*> wanted;
    std::vector<Row> kept = rows;
    for (Row& row : kept) {
        if (kind.asPhoneKeeps != nullptr) kind.asPhoneKeeps(row);
        size_t& held = present[identityOf(kind, row)];
        if (held > 0) {
            --held;
            ++tally.skipped;
        } else {
            wanted.push_back(&row);
        }
    }
    if (dryRun || wanted.empty()) {
        tally.added = dryRun ? wanted.size() : 0;
        return tally;
    }
    const bool messages = &kind.records() == &messageKind();
    std::optional<DefaultMessagingRole> role;
    if (messages) {
        role.emplace(device);
        // Oldest first, so the phone's conversations grow in the order they happened.
        const size_t date = field(messageKind(), "date");
        std::stable_sort(wanted.begin(), wanted.end(),
                         [date](const Row* a, const Row* b) { return text(*a, date) < text(*b, date); });
    }
    Progress progress(std::string("adding ") + kind.name, kind.records().noun);
    for (size_t i = 0; i < wanted.size(); ++i) {
        if (interrupted()) {
            tally.interrupted = true;
            break;
        }
        progress.update(static_cast<int64_t>(i), static_cast<int64_t>(wanted.size()));
        kind.add(*wanted[i], device) ? ++tally.added : ++tally.failed;
    }
    progress.update(static_cast<int64_t>(tally.added + tally.failed), static_cast<int64_t>(wanted.size()));
    progress.finish(tally.interrupted ? "aborted" : "done");
    return tally;
}

} // namespace zentro::cli
