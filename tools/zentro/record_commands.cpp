// sms, calls, calendar, contacts: list, export, add, clear, and the families' own extras.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <deque>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "backup_formats.h"
#include "cli.h"
#include "commands.h"
#include "formats.h"
#include "records.h"
#include "safe_text.h"
#include "zentrolink.h"

namespace zentro::cli {
namespace {

using json = nlohmann::ordered_json;

void writeFile(const std::string& path, const std::string& text) {
    // Written beside and renamed, so an interrupted export never leaves half a file under the name.
    const std::string partial = path + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) throw Failure("cannot write " + path + ": check the folder exists and is writable");
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) throw Failure("cannot write " + path);
}

// One table cell: line breaks become blanks, other controls are shown escaped, and the text is
// cut to the column without splitting a character.
std::string shortened(const Cell& cell, size_t width) {
    std::string text = cell.value_or("");
    for (char& c : text) {
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    }
    text = terminalSafe(text);
    if (text.size() <= width) return text;
    size_t cut = width - 3;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut) + "...";
}

// Prints a table of chosen fields, or the whole records as JSON with --json.
void printRecords(const RecordKind& kind, const RecordSet& set,
                  const std::vector<std::pair<std::string, size_t>>& columns) {
    if (options().json) {
        std::fputs(rowsToJson(kind, set.rows).c_str(), stdout);
    } else {
        for (const auto& [field, width] : columns)
            std::printf("%-*s ", static_cast<int>(width), field.c_str());
        std::printf("\n");
        for (const Row& row : set.rows) {
            for (const auto& [field, width] : columns) {
                std::printf("%-*s ", static_cast<int>(width),
                            shortened(cellOf(kind, row, field), width).c_str());
            }
            std::printf("\n");
        }
        std::fprintf(stderr, "%zu %s%s\n", set.rows.size(), kind.noun, set.complete ? "" : " (incomplete)");
    }
    if (!set.complete)
        throw Failure(std::string("reading ") + kind.noun +
                          " was interrupted; the rows above are what arrived",
                      kExitInterrupted);
}

void exportRecords(const RecordKind& kind, const std::string& path) {
    const std::string format = formatOfPath(path);
    const bool contacts = &kind == &contactKind(), events = &kind == &eventKind();
    if (format != "json" && format != "csv" && !(contacts && format == "vcf") &&
        !(events && format == "ics")) {
        throw Failure("cannot tell the format of '" + path + "': use ." +
                          (contacts ? "vcf, .csv or .json"
                           : events ? "ics or .json"
                                    : "csv or .json"),
                      kExitUsage);
    }
    RecordSet set = readRecords(kind);
    if (!set.complete) throw Failure("reading was interrupted; nothing written", kExitInterrupted);
    std::string text;
    if (format == "json")
        text = rowsToJson(kind, set.rows);
    else if (format == "vcf")
        text = contactsToVCards(set.rows);
    else if (format == "ics")
        text = eventsToIcs(set.rows);
    else
        text = toCsv(kind.fields, set.rows);
    writeFile(path, text);
    std::fprintf(stderr, "%zu %s written to %s\n", set.rows.size(), kind.noun, path.c_str());
}

void requireYes(bool yes, const char* what) {
    if (!yes)
        throw Failure(std::string("this deletes ") + what + " on the phone for good: add --yes to go ahead",
                      kExitUsage);
}

void reportAnswer(const char* what, int32_t answer) {
    if (options().json)
        std::printf("%s\n", jsonText({{"result", answer}}).c_str());
    else
        std::printf("%s: the phone answered %d\n", what, answer);
    if (answer < 0) throw Failure(std::string(what) + " was refused by the phone");
}

std::string nowText() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

char* text(std::string& value) { return value.empty() ? nullptr : value.data(); }

// The subcommands every record family has: list and export.
CLI::App* addFamily(CLI::App& app, const char* name, const char* help, const RecordKind& kind,
                    std::vector<std::pair<std::string, size_t>> columns) {
    auto* family = app.add_subcommand(name, help);
    family->require_subcommand(1);
    family->add_subcommand("list", std::string("List the phone's ") + kind.noun + " (--json for all fields)")
        ->callback([&kind, columns] { printRecords(kind, readRecords(kind), columns); });
    auto* exporter =
        family->add_subcommand("export", std::string("Write the phone's ") + kind.noun + " to FILE");
    static std::deque<std::string> paths; // one per family, alive for the whole run
    std::string* path = &paths.emplace_back();
    exporter->add_option("FILE", *path, "Output file; its extension picks the format")->required();
    exporter->callback([&kind, path] { exportRecords(kind, *path); });
    return family;
}

void addMessageCommands(CLI::App& app) {
    auto* sms = addFamily(app, "sms", "Text messages: list, threads, send, export, clear", messageKind(),
                          {{"date", 19}, {"address", 16}, {"type", 4}, {"body", 50}});
    sms->add_subcommand("threads", "Group the messages into conversations, newest first")->callback([] {
        RecordSet set = readRecords(messageKind()); // fills the library's message list too
        SmsTempGroup* group = nullptr;
        Zentro_GetSMSTempGroup(&group);
        json out = json::array();
        for (; group != nullptr; group = group->next) {
            int members = 0;
            const SmsRecord* latest = nullptr;
            for (TempGroupMember* m = group->first; m != nullptr; m = m->next, ++members) {
                const auto* record = static_cast<const SmsRecord*>(m->record);
                if (latest == nullptr ||
                    (record->date && latest->date && std::string(record->date) > latest->date))
                    latest = record;
            }
            out.push_back({{"address", latest && latest->address ? latest->address : ""},
                           {"threadId", latest && latest->threadId ? latest->threadId : ""},
                           {"messages", members},
                           {"latest", latest && latest->date ? latest->date : ""},
                           {"body", latest && latest->body ? latest->body : ""}});
        }
        if (options().json) {
            std::printf("%s\n", jsonText(out, 2).c_str());
            return;
        }
        std::printf("%-19s %-16s %5s %s\n", "LATEST", "ADDRESS", "COUNT", "LAST MESSAGE");
        for (const auto& t : out) {
            std::printf("%-19s %-16s %5d %s\n", terminalSafe(t["latest"].get<std::string>()).c_str(),
                        terminalSafe(t["address"].get<std::string>()).c_str(), t["messages"].get<int>(),
                        shortened(t["body"].get<std::string>(), 50).c_str());
        }
    });
    auto* send = sms->add_subcommand("send", "Send a text message from the phone");
    static std::string number, body;
    send->add_option("NUMBER", number, "Recipient's phone number")->required();
    send->add_option("TEXT", body, "Message text")->required();
    send->callback([] {
        requirePreparedPhone();
        std::string date = nowText(), read = "1", type = "2";
        SmsRecord record{};
        record.address = text(number);
        record.body = text(body);
        record.date = text(date);
        record.read = text(read);
        record.type = text(type);
        reportAnswer("send", Zentro_SendSMS(&record, options().device));
    });
    auto* clear = sms->add_subcommand("clear", "Delete every message on the phone");
    static bool yes = false;
    clear->add_flag("--yes", yes, "Really delete");
    clear->callback([] {
        requireYes(yes, "every message");
        requirePreparedPhone();
        reportAnswer("clear", Zentro_ClearSMS(options().device));
    });
}

void addCallCommands(CLI::App& app) {
    auto* calls = addFamily(app, "calls", "Call log: list, add, export, clear", callKind(),
                            {{"date", 19}, {"number", 16}, {"name", 20}, {"type", 4}, {"duration", 8}});
    auto* add = calls->add_subcommand("add", "Add an entry to the phone's call log");
    static std::string number, date, type = "1", duration = "0";
    add->add_option("NUMBER", number, "Phone number")->required();
    add->add_option("--date", date, "When (the phone's date text; default now)");
    add->add_option("--type", type, "1 incoming, 2 outgoing, 3 missed")->capture_default_str();
    add->add_option("--duration", duration, "Seconds")->capture_default_str();
    add->callback([] {
        requirePreparedPhone();
        if (date.empty()) date = std::to_string(static_cast<long long>(std::time(nullptr)) * 1000);
        CallHistoryRecord record{};
        record.number = text(number);
        record.date = text(date);
        record.type = text(type);
        record.duration = text(duration);
        reportAnswer("add", Zentro_AddCallHistory(&record, options().device));
    });
    auto* clear = calls->add_subcommand("clear", "Delete the phone's whole call log");
    static bool yes = false;
    clear->add_flag("--yes", yes, "Really delete");
    clear->callback([] {
        requireYes(yes, "the whole call log");
        requirePreparedPhone();
        reportAnswer("clear", Zentro_ClearCallHistory(options().device));
    });
}

void addCalendarCommands(CLI::App& app) {
    auto* calendar = addFamily(app, "calendar", "Calendar events: list, add, export, clear", eventKind(),
                               {{"start", 14}, {"title", 30}, {"location", 20}});
    auto* add = calendar->add_subcommand("add", "Add an event to the phone's calendar");
    static std::string title, start, end, location, description, rule;
    add->add_option("TITLE", title, "What")->required();
    add->add_option("--start", start, "Start, milliseconds since 1970")->required();
    add->add_option("--end", end, "End, milliseconds since 1970")->required();
    add->add_option("--location", location, "Where");
    add->add_option("--description", description, "Notes");
    add->add_option("--rrule", rule, "Recurrence rule, e.g. FREQ=WEEKLY");
    add->callback([] {
        requirePreparedPhone();
        CalenderRecord record{};
        record.title = text(title);
        record.start = text(start);
        record.end = text(end);
        record.location = text(location);
        record.description = text(description);
        record.recurrenceRule = text(rule);
        reportAnswer("add", Zentro_AddCalender(&record, options().device));
    });
    auto* clear = calendar->add_subcommand("clear", "Delete every calendar event on the phone");
    static bool yes = false;
    clear->add_flag("--yes", yes, "Really delete");
    clear->callback([] {
        requireYes(yes, "every calendar event");
        requirePreparedPhone();
        reportAnswer("clear", Zentro_ClearCalender(options().device));
    });
}

void addContactCommands(CLI::App& app) {
    auto* contacts =
        addFamily(app, "contacts", "Contacts: list, add, set, export, clear", contactKind(),
                  {{"id", 6}, {"firstName", 16}, {"lastName", 16}, {"mobile", 16}, {"homeEmail", 28}});
    auto* add = contacts->add_subcommand("add", "Add a contact with a name and a mobile number");
    static std::string name, number;
    add->add_option("NAME", name, "Name")->required();
    add->add_option("NUMBER", number, "Mobile number")->required();
    add->callback([] {
        requirePreparedPhone();
        const int64_t id = Zentro_AddPerson(name.c_str(), number.c_str(), options().device);
        if (options().json)
            std::printf("%s\n", jsonText({{"id", id}}).c_str());
        else
            std::printf("added contact %lld\n", static_cast<long long>(id));
        if (id <= 0) throw Failure("the phone did not add the contact");
    });
    auto* set = contacts->add_subcommand("set", "Change one field of a contact");
    static std::string id, field, value;
    set->add_option("ID", id, "Contact id, as 'contacts list' shows")->required();
    set->add_option("FIELD", field, "Field name, as in 'contacts list --json'")->required();
    set->add_option("VALUE", value, "New value")->required();
    set->callback([] {
        const auto& fields = contactKind().fields;
        auto it = std::find(fields.begin(), fields.end(), field);
        if (it == fields.end() || it == fields.begin() || field.rfind("reserved", 0) == 0) {
            throw Failure("unknown contact field '" + field + "' (see 'zentro contacts list --json')",
                          kExitUsage);
        }
        requirePreparedPhone();
        reportAnswer("set", Zentro_updatePerson(id.c_str(), static_cast<int32_t>(it - fields.begin()),
                                                value.c_str(), options().device));
    });
    auto* clear = contacts->add_subcommand("clear", "Delete every contact on the phone");
    static bool yes = false;
    clear->add_flag("--yes", yes, "Really delete");
    clear->callback([] {
        requireYes(yes, "every contact");
        requirePreparedPhone();
        reportAnswer("clear", Zentro_ClearPerson(options().device));
    });
}

} // namespace

static json rowToJson(const RecordKind& kind, const Row& row) {
    json out = json::object();
    for (size_t i = 0; i < kind.fields.size(); ++i) {
        if (kind.fields[i].rfind("reserved", 0) == 0) continue;
        out[kind.fields[i]] = row[i] ? json(*row[i]) : json(nullptr);
    }
    return out;
}

std::string rowsToJson(const RecordKind& kind, const std::vector<Row>& rows) {
    json out = json::array();
    for (const Row& row : rows) out.push_back(rowToJson(kind, row));
    return jsonText(out, 2) + "\n";
}

void addRecordCommands(CLI::App& app) {
    addMessageCommands(app);
    addCallCommands(app);
    addCalendarCommands(app);
    addContactCommands(app);
}

} // namespace zentro::cli
