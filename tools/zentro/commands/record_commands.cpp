// sms, calls, calendar, contacts: list, export, add, clear, and the families' own extras.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <deque>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli.h"
#include "commands/commands.h"
#include "formats/backup_formats.h"
#include "formats/dates.h"
#include "formats/formats.h"
#include "formats/json_stream.h"
#include "formats/safe_text.h"
#include "media_items.h"
#include "progress.h"
#include "records.h"
#include "zentrolink.h"

namespace zentro::cli {
namespace {

using json = nlohmann::ordered_json;

// "3 messages": every kind's noun is a plural in s.
std::string countOf(const RecordKind& kind, size_t count) {
    const std::string noun = kind.noun;
    return counted(static_cast<int64_t>(count), noun.substr(0, noun.size() - 1), noun);
}

// Dates kept in milliseconds read as local time; dates the phone keeps as text stay as they are.
std::string shownCell(const RecordKind& kind, const std::string& field, const Cell& cell) {
    if (!cell || cell->empty() ||
        std::find(kind.dates.begin(), kind.dates.end(), field) == kind.dates.end() ||
        cell->find_first_not_of("0123456789") != std::string::npos)
        return cell.value_or("");
    const ParsedDate date = parseDate(*cell);
    return date.millis ? shortLocalDate(*date.millis) : *cell;
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
        std::fputs(rowsToJson(kind, set.rows, true).c_str(), stdout);
    } else {
        for (const auto& [field, width] : columns)
            std::printf("%-*s ", static_cast<int>(width), field.c_str());
        std::printf("\n");
        for (const Row& row : set.rows) {
            for (const auto& [field, width] : columns) {
                std::printf("%-*s ", static_cast<int>(width),
                            shortened(shownCell(kind, field, cellOf(kind, row, field)), width).c_str());
            }
            std::printf("\n");
        }
        std::fprintf(stderr, "%s%s\n", countOf(kind, set.rows.size()).c_str(),
                     set.complete ? "" : " (incomplete)");
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
    writeFileAtomically(path, text);
    std::fprintf(stderr, "%s written to %s\n", countOf(kind, set.rows.size()).c_str(), path.c_str());
}

void requireYes(bool yes, const char* what) {
    if (!yes)
        throw Failure(std::string("this deletes ") + what + " on the phone for good: add --yes to go ahead",
                      kExitUsage);
}

// The library refuses a command too long for the phone's command buffer with -1, as the phone
// may refuse one; the rule stays in the library, and the user learns which field to shorten.
std::string longestField(std::initializer_list<std::pair<const char*, const std::string*>> fields) {
    const std::pair<const char*, const std::string*>* longest = nullptr;
    for (const auto& field : fields) {
        if (longest == nullptr || field.second->size() > longest->second->size()) longest = &field;
    }
    if (longest == nullptr) return "";
    return " (or it was too long to send: its longest field, " + std::string(longest->first) + ", has " +
           std::to_string(longest->second->size()) + " bytes)";
}

// The companion answers a change with a positive number once done; the library gives 0 when
// nothing came back, which is no success either.
void reportChange(int32_t answer, const std::string& done, const std::string& what,
                  const std::string& tooLong = "") {
    if (options().json) std::printf("%s\n", jsonText({{"result", answer}}).c_str());
    if (answer < 0) throw Failure("the phone refused to " + what + tooLong);
    if (answer == 0)
        throw Failure("the phone gave no answer to " + what + ": is it still connected and prepared?");
    if (!options().json) std::printf("%s\n", terminalSafe(done).c_str());
}

int64_t nowMillis() { return static_cast<int64_t>(std::time(nullptr)) * 1000; }

// A typed date, or a usage error that says which option was wrong and how to write it.
int64_t typedDate(const char* option, const std::string& text) {
    const ParsedDate date = parseDate(text);
    if (!date.millis) throw Failure(std::string(option) + ": " + date.error, kExitUsage);
    return *date.millis;
}

std::string onPhone() { return "phone " + std::to_string(options().device); }

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
        std::string date = phoneDateText(nowMillis()), read = "1", type = "2";
        SmsRecord record{};
        record.address = text(number);
        record.body = text(body);
        record.date = text(date);
        record.read = text(read);
        record.type = text(type);
        reportChange(Zentro_SendSMS(&record, options().device),
                     "sent message to " + number + " from " + onPhone(), "send the message");
    });
    auto* clear = sms->add_subcommand("clear", "Delete every message on the phone");
    static bool yes = false;
    clear->add_flag("--yes", yes, "Really delete");
    clear->callback([] {
        requireYes(yes, "every message");
        requirePreparedPhone();
        reportChange(Zentro_ClearSMS(options().device), "deleted every message on " + onPhone(),
                     "delete the messages");
    });
}

void addCallCommands(CLI::App& app) {
    auto* calls = addFamily(app, "calls", "Call log: list, add, export, clear", callKind(),
                            {{"date", 19}, {"number", 16}, {"name", 20}, {"type", 4}, {"duration", 8}});
    auto* add = calls->add_subcommand("add", "Add an entry to the phone's call log");
    static std::string number, date, type = "1", duration = "0";
    add->add_option("NUMBER", number, "Phone number")->required();
    add->add_option("--date", date, std::string("When (default now): ") + kDateForms);
    add->add_option("--type", type, "1 incoming, 2 outgoing, 3 missed")->capture_default_str();
    add->add_option("--duration", duration, "Seconds")->capture_default_str();
    add->callback([] {
        // The phone keeps call dates as local date text, as it keeps message dates.
        std::string when = phoneDateText(date.empty() ? nowMillis() : typedDate("--date", date));
        static const char* const kinds[] = {"incoming call from ", "outgoing call to ", "missed call from "};
        if (type != "1" && type != "2" && type != "3")
            throw Failure("--type: 1 incoming, 2 outgoing or 3 missed, not '" + type + "'", kExitUsage);
        if (duration.empty() || duration.find_first_not_of("0123456789") != std::string::npos)
            throw Failure("--duration: a whole number of seconds, not '" + duration + "'", kExitUsage);
        requirePreparedPhone();
        CallHistoryRecord record{};
        record.number = text(number);
        record.date = text(when);
        record.type = text(type);
        record.duration = text(duration);
        reportChange(Zentro_AddCallHistory(&record, options().device),
                     std::string("added ") + kinds[type[0] - '1'] + number + " on " + when + " (" + duration +
                         " s) to the call log of " + onPhone(),
                     "add the call",
                     longestField({{"NUMBER", &number}, {"--type", &type}, {"--duration", &duration}}));
    });
    auto* clear = calls->add_subcommand("clear", "Delete the phone's whole call log");
    static bool yes = false;
    clear->add_flag("--yes", yes, "Really delete");
    clear->callback([] {
        requireYes(yes, "the whole call log");
        requirePreparedPhone();
        reportChange(Zentro_ClearCallHistory(options().device), "deleted the whole call log of " + onPhone(),
                     "delete the call log");
    });
}

void addCalendarCommands(CLI::App& app) {
    auto* calendar = addFamily(app, "calendar", "Calendar events: list, add, export, clear", eventKind(),
                               {{"start", 16}, {"title", 30}, {"location", 20}});
    auto* add = calendar->add_subcommand("add", "Add an event to the phone's calendar");
    static std::string title, start, end, location, description, rule;
    add->add_option("TITLE", title, "What")->required();
    add->add_option("--start", start, std::string("Start: ") + kDateForms)->required();
    add->add_option("--end", end, "End, after the start; the same forms")->required();
    add->add_option("--location", location, "Where");
    add->add_option("--description", description, "Notes");
    add->add_option("--rrule", rule, "Recurrence rule, e.g. FREQ=WEEKLY");
    add->callback([] {
        const int64_t from = typedDate("--start", start), until = typedDate("--end", end);
        if (until <= from) {
            throw Failure("--end (" + shortLocalDate(until) + ") must come after --start (" +
                              shortLocalDate(from) + ")",
                          kExitUsage);
        }
        requirePreparedPhone();
        // The phone keeps event times as milliseconds since 1970.
        std::string startText = std::to_string(from), endText = std::to_string(until);
        CalenderRecord record{};
        record.title = text(title);
        record.start = text(startText);
        record.end = text(endText);
        record.location = text(location);
        record.description = text(description);
        record.recurrenceRule = text(rule);
        reportChange(Zentro_AddCalender(&record, options().device),
                     "added event '" + title + "' from " + shortLocalDate(from) + " to " +
                         shortLocalDate(until) + " to the calendar of " + onPhone(),
                     "add the event",
                     longestField({{"TITLE", &title},
                                   {"--location", &location},
                                   {"--description", &description},
                                   {"--rrule", &rule}}));
    });
    auto* clear = calendar->add_subcommand("clear", "Delete every calendar event on the phone");
    static bool yes = false;
    clear->add_flag("--yes", yes, "Really delete");
    clear->callback([] {
        requireYes(yes, "every calendar event");
        requirePreparedPhone();
        reportChange(Zentro_ClearCalender(options().device), "deleted every calendar event on " + onPhone(),
                     "delete the calendar events");
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
        if (options().json) std::printf("%s\n", jsonText({{"id", id}}).c_str());
        if (id <= 0)
            throw Failure("the phone did not add the contact '" + name + "'" +
                          longestField({{"NAME", &name}, {"NUMBER", &number}}));
        if (!options().json)
            std::printf("added contact '%s' (%s) with id %lld to %s\n", terminalSafe(name).c_str(),
                        terminalSafe(number).c_str(), static_cast<long long>(id), onPhone().c_str());
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
        reportChange(Zentro_updatePerson(id.c_str(), static_cast<int32_t>(it - fields.begin()), value.c_str(),
                                         options().device),
                     "set " + field + " of contact " + id + " to '" + value + "'", "change contact " + id,
                     longestField({{"ID", &id}, {"VALUE", &value}}));
    });
    auto* clear = contacts->add_subcommand("clear", "Delete every contact on the phone");
    static bool yes = false;
    clear->add_flag("--yes", yes, "Really delete");
    clear->callback([] {
        requireYes(yes, "every contact");
        requirePreparedPhone();
        reportChange(Zentro_ClearPerson(options().device), "deleted every contact on " + onPhone(),
                     "delete the contacts");
    });
}

} // namespace

std::string rowsToJson(const RecordKind& kind, const std::vector<Row>& rows, bool isoDates) {
    // Streamed: a tree per record costs more than the phone's reading of it.
    std::vector<bool> shown, dated;
    for (const std::string& field : kind.fields) {
        shown.push_back(field.rfind("reserved", 0) != 0);
        dated.push_back(isoDates &&
                        std::find(kind.dates.begin(), kind.dates.end(), field) != kind.dates.end());
    }
    size_t keys = 0;
    for (const std::string& field : kind.fields) keys = std::max(keys, field.size());
    std::string out;
    // Per cell: its indented key and the quotes and separators around its text.
    out.reserve(rowsTextSize(rows, keys + 12 + (isoDates ? 40 : 0)));
    JsonStream stream(out, 2);
    stream.beginArray();
    for (const Row& row : rows) {
        stream.beginObject();
        for (size_t i = 0; i < kind.fields.size(); ++i) {
            if (!shown[i]) continue;
            stream.key(kind.fields[i]);
            row[i] ? stream.string(*row[i]) : stream.null();
            if (!dated[i]) continue;
            stream.key(kind.fields[i] + "Iso");
            const ParsedDate date = row[i] ? parseDate(*row[i]) : ParsedDate{};
            date.millis ? stream.string(isoLocalDate(*date.millis)) : stream.null();
        }
        stream.end();
    }
    stream.end();
    out += '\n';
    return out;
}

void addRecordCommands(CLI::App& app) {
    addMessageCommands(app);
    addCallCommands(app);
    addCalendarCommands(app);
    addContactCommands(app);
}

} // namespace zentro::cli
