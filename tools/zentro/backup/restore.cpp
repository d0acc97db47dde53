// zentro restore DIR: a backup's contacts, calendar, call log, messages and media back onto a
// phone, skipping what the phone already holds so that a second run adds nothing.
#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "backup/backup.h"
#include "formats/backup_formats.h"
#include "cli.h"
#include "commands/commands.h"
#include "interrupt.h"
#include "progress.h"
#include "records.h"
#include "backup/restore.h"
#include "formats/safe_text.h"
#include "zentrolink.h"

namespace zentro::cli {
namespace {

using json = nlohmann::ordered_json;

std::string value(const Row& row, size_t i) { return i < row.size() && row[i] ? *row[i] : std::string(); }

// A row's texts as the char* fields the add exports read; empty texts go as null.
struct Texts {
    explicit Texts(const Row& row) {
        store.reserve(row.size());
        for (const Cell& cell : row) store.push_back(cell.value_or(""));
        for (std::string& text : store) pointers.push_back(text.empty() ? nullptr : text.data());
    }
    char* operator[](size_t i) { return i < pointers.size() ? pointers[i] : nullptr; }
    std::vector<std::string> store;
    std::vector<char*> pointers;
};

std::string contactName(const Row& row) {
    std::string first = value(row, 1), last = value(row, 2);
    return first + (first.empty() || last.empty() ? "" : " ") + last;
}

// A contact is the phone's already when its name and its set of numbers are the same.
std::string contactKey(const Row& row) {
    std::set<std::string> numbers;
    for (size_t f : {4, 5, 6, 18, 19}) {
        if (std::string n = value(row, f); !n.empty()) numbers.insert(n);
    }
    std::string key = contactName(row);
    for (const std::string& n : numbers) key += '\x1f' + n;
    return key;
}

std::string joinKey(const Row& row, std::initializer_list<size_t> fields) {
    std::string key;
    for (size_t f : fields) key += value(row, f) + '\x1f';
    return key;
}

std::string eventKey(const Row& row) { return joinKey(row, {3, 2}); }         // start, title
std::string callKey(const Row& row) { return joinKey(row, {2, 3, 4}); }       // number, date, type
std::string messageKey(const Row& row) { return joinKey(row, {2, 4, 5, 3}); } // address, date, type, body

// Reads the target phone's records of a kind as keys; Failure when the read was cut short
// (adding without knowing what is there would make duplicates).
std::set<std::string> keysOnPhone(const RecordKind& kind, std::string (*key)(const Row&)) {
    RecordSet set = readRecords(kind);
    if (!set.complete)
        throw Failure(std::string("reading the phone's ") + kind.noun + " was interrupted", kExitInterrupted);
    std::set<std::string> keys;
    for (const Row& row : set.rows) keys.insert(key(row));
    return keys;
}

template <class Add>
Tally addMissing(const RecordKind& kind, const std::vector<Row>& rows, std::string (*key)(const Row&),
                 Add add) {
    Tally tally;
    if (rows.empty()) return tally;
    std::set<std::string> present = keysOnPhone(kind, key);
    Progress progress(std::string("restoring ") + kind.noun, kind.noun);
    for (size_t i = 0; i < rows.size(); ++i) {
        if (interrupted()) {
            tally.interrupted = true;
            break;
        }
        progress.update(static_cast<int64_t>(i), static_cast<int64_t>(rows.size()));
        if (!present.insert(key(rows[i])).second) {
            ++tally.skipped;
            continue;
        }
        if (add(rows[i]))
            ++tally.added;
        else
            ++tally.failed;
    }
    progress.update(static_cast<int64_t>(rows.size()), static_cast<int64_t>(rows.size()));
    progress.finish(tally.interrupted ? "aborted" : "done");
    return tally;
}

// Hands the default-messaging role back however the restore of messages ends.
class DefaultMessagingRole {
public:
    explicit DefaultMessagingRole(int32_t device)
        : device_(device) {
        if (Zentro_CheckAndroidVersionAt44(device_) != 1) return;
        taken_ = true;
        Zentro_SetDefaultMessage(device_);
        if (Zentro_CheckDefaultMessangeOK(device_) != 0)
            throw Failure("the phone did not make the companion its messaging application; accept the "
                          "question on the phone and run restore again");
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

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool exists(const std::string& path) { return fileSize(path) >= 0; }

} // namespace

DeviceScope::DeviceScope(int32_t device)
    : saved_(options().device) {
    options().device = device;
}
DeviceScope::~DeviceScope() { options().device = saved_; }

Tally restoreContacts(const std::vector<Row>& rows, int32_t device) {
    DeviceScope scope(device);
    return addMissing(contactKind(), rows, contactKey, [&](const Row& row) {
        Row fields = row;
        fields.resize(21);
        // The phone keeps one name; sending it whole keeps "First Last" as the phone showed it.
        fields[1] = contactName(row);
        fields[2].reset();
        Texts texts(fields);
        return Zentro_AddPerson3(texts.pointers.data(), device) > 0;
    });
}

Tally restoreEvents(const std::vector<Row>& rows, int32_t device) {
    DeviceScope scope(device);
    return addMissing(eventKind(), rows, eventKey, [&](const Row& row) {
        Texts t(row);
        CalenderRecord event{};
        event.calendarId = t[1];
        event.title = t[2];
        event.start = t[3];
        event.end = t[4];
        event.location = t[5];
        event.timeZone = t[6];
        event.description = t[7];
        event.hasAlarm = t[8];
        event.reminderMinutes = t[9];
        event.recurrenceRule = t[10];
        return Zentro_AddCalender(&event, device) >= 0;
    });
}

Tally restoreCalls(const std::vector<Row>& rows, int32_t device) {
    DeviceScope scope(device);
    return addMissing(callKind(), rows, callKey, [&](const Row& row) {
        Texts t(row);
        CallHistoryRecord call{};
        call.name = t[1];
        call.number = t[2];
        call.date = t[3];
        call.type = t[4];
        call.duration = t[5];
        return Zentro_AddCallHistory(&call, device) >= 0;
    });
}

Tally restoreMessages(const std::vector<Row>& rows, int32_t device) {
    DeviceScope scope(device);
    std::set<std::string> present = keysOnPhone(messageKind(), messageKey);
    std::vector<const Row*> wanted;
    for (const Row& row : rows) {
        if (present.insert(messageKey(row)).second) wanted.push_back(&row);
    }
    Tally tally;
    tally.skipped = rows.size() - wanted.size();
    if (wanted.empty()) return tally;
    DefaultMessagingRole role(device);
    Progress progress("restoring messages", "messages");
    // Oldest first, so the phone's conversations grow in the order they happened.
    std::stable_sort(wanted.begin(), wanted.end(),
                     [](const Row* a, const Row* b) { return value(*a, 4) < value(*b, 4); });
    for (size_t i = 0; i < wanted.size(); ++i) {
        if (interrupted()) {
            tally.interrupted = true;
            break;
        }
        progress.update(static_cast<int64_t>(i), static_cast<int64_t>(wanted.size()));
        Texts t(*wanted[i]);
        SmsRecord message{};
        message.address = t[2];
        message.body = t[3];
        message.date = t[4];
        message.type = t[5];
        message.read = t[6];
        if (Zentro_SendSMS(&message, device) >= 0)
            ++tally.added;
        else
            ++tally.failed;
    }
    progress.finish(tally.interrupted ? "aborted" : "done");
    return tally;
}

std::vector<Row> rowsFromJson(const RecordKind& kind, const std::string& text) {
    std::vector<Row> rows;
    json list = json::parse(text, nullptr, false);
    if (!list.is_array()) return rows;
    for (const json& item : list) {
        Row row(kind.fields.size());
        for (size_t i = 0; i < kind.fields.size(); ++i) {
            auto it = item.find(kind.fields[i]);
            if (it != item.end() && it->is_string()) row[i] = it->get<std::string>();
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<Row> rowsFromCsv(const RecordKind& kind, const std::string& text) {
    std::vector<Row> rows;
    const auto table = parseCsv(text);
    if (table.empty()) return rows;
    std::vector<int> column(kind.fields.size(), -1);
    for (size_t i = 0; i < kind.fields.size(); ++i) {
        auto it = std::find(table[0].begin(), table[0].end(), kind.fields[i]);
        if (it != table[0].end()) column[i] = static_cast<int>(it - table[0].begin());
    }
    for (size_t r = 1; r < table.size(); ++r) {
        Row row(kind.fields.size());
        for (size_t i = 0; i < kind.fields.size(); ++i) {
            if (column[i] >= 0 && static_cast<size_t>(column[i]) < table[r].size() &&
                !table[r][column[i]].empty())
                row[i] = table[r][column[i]];
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

namespace {

json tallyJson(const Tally& t) {
    return {{"added", t.added}, {"skipped", t.skipped}, {"failed", t.failed}, {"interrupted", t.interrupted}};
}

void runRestore(const std::string& dir) {
    if (!exists(dir + "/manifest.json"))
        throw Failure("'" + dir + "' holds no backup (no manifest.json)", kExitUsage);
    requirePreparedPhone();
    const int32_t device = options().device;
    json report = json::object();
    bool cut = false;
    const auto step = [&](const char* name, const std::string& file, auto&& restore) {
        if (cut || interrupted() || !exists(dir + "/" + file)) return;
        Tally tally = restore(readText(dir + "/" + file));
        report[name] = tallyJson(tally);
        cut = cut || tally.interrupted;
    };
    // Contacts first: the phone names calls and messages after the contacts it holds.
    step("contacts", "contacts.vcf",
         [&](const std::string& t) { return restoreContacts(contactsFromVCards(t), device); });
    step("calendar", "calendar.ics",
         [&](const std::string& t) { return restoreEvents(eventsFromIcs(t), device); });
    step("calls", "calls.csv",
         [&](const std::string& t) { return restoreCalls(rowsFromCsv(callKind(), t), device); });
    step("messages", "messages.json",
         [&](const std::string& t) { return restoreMessages(rowsFromJson(messageKind(), t), device); });
    for (const MediaKind& kind : mediaKinds()) {
        if (cut || interrupted()) break;
        Tally tally = restoreMedia(kind, dir + "/" + kind.family, device);
        report[kind.family] = tallyJson(tally);
        cut = cut || tally.interrupted;
    }
    if (options().json) {
        std::printf("%s\n", jsonText(report, 2).c_str());
    } else {
        for (const auto& [kind, t] : report.items()) {
            std::printf("%-9s %s added, %s already there%s\n", kind.c_str(), t["added"].dump().c_str(),
                        t["skipped"].dump().c_str(),
                        t["failed"].get<size_t>() ? (", " + t["failed"].dump() + " refused").c_str() : "");
        }
    }
    size_t failed = 0;
    for (const auto& [kind, t] : report.items()) failed += t["failed"].get<size_t>();
    if (cut || interrupted())
        throw Failure("restore interrupted; run it again to add the rest", kExitInterrupted);
    if (failed > 0) throw Failure(counted(static_cast<int64_t>(failed), "item") + " refused by the phone");
}

} // namespace

void addRestoreCommand(CLI::App& app) {
    auto* restore = app.add_subcommand(
        "restore", "Put a backup's contacts, calendar, calls, messages and media back onto a phone");
    static std::string dir;
    restore->add_option("DIR", dir, "Backup folder made by 'zentro backup'")->required();
    restore->callback([] { runRestore(absolutePath(dir)); });
}

} // namespace zentro::cli
