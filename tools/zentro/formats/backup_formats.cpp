#include "formats/backup_formats.h"

#include <libical/ical.h>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "formats/lazy_library.h"

namespace zentro::cli {
namespace {

// libical and libcrypto through the functions used here, loaded on the first call (see
// lazy_library.h); the sonames are those the build found.
#define ZENTRO_ICAL_FUNCTIONS(X)                                                                             \
    X(icalcomponent_add_component)                                                                           \
    X(icalcomponent_add_property)                                                                            \
    X(icalcomponent_as_ical_string)                                                                          \
    X(icalcomponent_free)                                                                                    \
    X(icalcomponent_get_first_component)                                                                     \
    X(icalcomponent_get_first_property)                                                                      \
    X(icalcomponent_get_next_component)                                                                      \
    X(icalcomponent_get_next_property)                                                                       \
    X(icalcomponent_new_vevent)                                                                              \
    X(icalcomponent_vanew)                                                                                   \
    X(icalparser_parse_string)                                                                               \
    X(icalproperty_get_description)                                                                          \
    X(icalproperty_get_dtend)                                                                                \
    X(icalproperty_get_dtstart)                                                                              \
    X(icalproperty_get_location)                                                                             \
    X(icalproperty_get_rrule)                                                                                \
    X(icalproperty_get_summary)                                                                              \
    X(icalproperty_get_x)                                                                                    \
    X(icalproperty_get_x_name)                                                                               \
    X(icalproperty_new_description)                                                                          \
    X(icalproperty_new_dtend)                                                                                \
    X(icalproperty_new_dtstamp)                                                                              \
    X(icalproperty_new_dtstart)                                                                              \
    X(icalproperty_new_location)                                                                             \
    X(icalproperty_new_prodid)                                                                               \
    X(icalproperty_new_rrule)                                                                                \
    X(icalproperty_new_summary)                                                                              \
    X(icalproperty_new_uid)                                                                                  \
    X(icalproperty_new_version)                                                                              \
    X(icalproperty_new_x)                                                                                    \
    X(icalproperty_set_x_name)                                                                               \
    X(icalrecurrencetype_as_string)                                                                          \
    X(icalrecurrencetype_from_string)                                                                        \
    X(icaltime_as_timet_with_zone)                                                                           \
    X(icaltime_from_timet_with_zone)                                                                         \
    X(icaltimezone_get_utc_timezone)

#define ZENTRO_CRYPTO_FUNCTIONS(X)                                                                           \
    X(EVP_MD_CTX_new)                                                                                        \
    X(EVP_MD_CTX_free) X(EVP_sha256) X(EVP_DigestInit_ex) X(EVP_DigestUpdate) X(EVP_DigestFinal_ex)

#define ZENTRO_DECLARE(name) decltype(&::name) name;
#define ZENTRO_RESOLVE(name) name = library.function<decltype(&::name)>(#name);

struct Ical {
    ZENTRO_ICAL_FUNCTIONS(ZENTRO_DECLARE)
    explicit Ical(const LazyLibrary& library) { ZENTRO_ICAL_FUNCTIONS(ZENTRO_RESOLVE) }
};

struct Crypto {
    ZENTRO_CRYPTO_FUNCTIONS(ZENTRO_DECLARE)
    explicit Crypto(const LazyLibrary& library) { ZENTRO_CRYPTO_FUNCTIONS(ZENTRO_RESOLVE) }
};

const Ical& ical() {
    static const Ical functions{LazyLibrary(ZENTRO_LIBICAL_SONAME)};
    return functions;
}

const Crypto& crypto() {
    static const Crypto functions{LazyLibrary(ZENTRO_LIBCRYPTO_SONAME)};
    return functions;
}

// Field positions of the CLI's event and contact rows.
enum Event {
    kEvId,
    kEvCalendar,
    kEvTitle,
    kEvStart,
    kEvEnd,
    kEvLocation,
    kEvZone,
    kEvText,
    kEvAlarm,
    kEvMinutes,
    kEvRule,
    kEvFields
};
constexpr size_t kPersonFields = 21;

// Calendar values iCalendar has no property for.
constexpr const char* kZoneProperty = "X-PHONE-TIMEZONE";
constexpr const char* kAlarmProperty = "X-PHONE-HASALARM";
constexpr const char* kMinutesProperty = "X-PHONE-REMINDER-MINUTES";
constexpr const char* kCalendarProperty = "X-PHONE-CALENDAR";

// vCard property of each contact field that maps one to one.
struct CardField {
    size_t field;
    const char* property;
};
constexpr CardField kCardFields[] = {{3, "NICKNAME"},
                                     {4, "TEL;TYPE=CELL"},
                                     {5, "TEL;TYPE=HOME"},
                                     {6, "TEL;TYPE=WORK"},
                                     {18, "TEL;TYPE=HOME,FAX"},
                                     {19, "TEL;TYPE=WORK,FAX"},
                                     {8, "EMAIL;TYPE=HOME"},
                                     {20, "EMAIL;TYPE=WORK"},
                                     {7, "URL"},
                                     {9, "BDAY"},
                                     {11, "NOTE"},
                                     {13, "TITLE"},
                                     {10, "CATEGORIES"},
                                     {12, "ORG"}};

// Splits a structured vCard value at the semicolons that are not escaped, then unescapes each.
std::vector<std::string> components(const std::string& value) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            parts.back() += next == 'n' || next == 'N' ? '\n' : next;
        } else if (value[i] == ';') {
            parts.emplace_back();
        } else {
            parts.back() += value[i];
        }
    }
    return parts;
}

void addX(icalcomponent* event, const char* name, const Cell& value) {
    if (!value) return;
    icalproperty* property = ical().icalproperty_new_x(value->c_str());
    ical().icalproperty_set_x_name(property, name);
    ical().icalcomponent_add_property(event, property);
}

// A phone's millisecond text as a UTC time; out-of-range values are held to the years 1 to 9999,
// all that iCalendar can write.
icaltimetype utcTime(const Cell& ms) {
    const long long value = std::strtoll(ms.value_or("0").c_str(), nullptr, 10) / 1000;
    constexpr long long kFirst = -62135596800LL, kLast = 253402300799LL; // 0001-01-01, 9999-12-31
    return ical().icaltime_from_timet_with_zone(static_cast<time_t>(std::clamp(value, kFirst, kLast)), 0,
                                                ical().icaltimezone_get_utc_timezone());
}

std::string msText(icaltimetype time) {
    return std::to_string(static_cast<long long>(ical().icaltime_as_timet_with_zone(
                              time, ical().icaltimezone_get_utc_timezone())) *
                          1000);
}

} // namespace

Sha256::Sha256()
    : context_(crypto().EVP_MD_CTX_new()) {
    if (context_ == nullptr || crypto().EVP_DigestInit_ex(context_, crypto().EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 is not available from libcrypto");
}

Sha256::~Sha256() { crypto().EVP_MD_CTX_free(context_); }

void Sha256::update(const void* data, size_t size) { crypto().EVP_DigestUpdate(context_, data, size); }

std::string Sha256::hexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    crypto().EVP_DigestFinal_ex(context_, digest, &length);
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 15];
    }
    return hex;
}

std::string sha256Hex(std::string_view bytes) {
    Sha256 digest;
    digest.update(bytes.data(), bytes.size());
    return digest.hexDigest();
}

std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false, any = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = any = true;
        } else if (c == ',') {
            row.push_back(csvCellText(std::move(field)));
            field.clear();
            any = true;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            row.push_back(csvCellText(std::move(field)));
            field.clear();
            rows.push_back(std::move(row));
            row.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.empty()) {
        row.push_back(csvCellText(std::move(field)));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string eventsToIcs(const std::vector<Row>& rows) {
    icalcomponent* calendar =
        ical().icalcomponent_vanew(ICAL_VCALENDAR_COMPONENT, ical().icalproperty_new_version("2.0"),
                                   ical().icalproperty_new_prodid("-//zentro//phone calendar//EN"), nullptr);
    for (const Row& row : rows) {
        if (row.size() < kEvFields) continue;
        icalcomponent* event = ical().icalcomponent_new_vevent();
        const std::string id = row[kEvId].value_or("0");
        ical().icalcomponent_add_property(event,
                                          ical().icalproperty_new_uid(("event-" + id + "@phone").c_str()));
        ical().icalcomponent_add_property(event, ical().icalproperty_new_dtstamp(utcTime(row[kEvStart])));
        ical().icalcomponent_add_property(event, ical().icalproperty_new_dtstart(utcTime(row[kEvStart])));
        if (row[kEvEnd])
            ical().icalcomponent_add_property(event, ical().icalproperty_new_dtend(utcTime(row[kEvEnd])));
        if (row[kEvTitle])
            ical().icalcomponent_add_property(event, ical().icalproperty_new_summary(row[kEvTitle]->c_str()));
        if (row[kEvLocation] && !row[kEvLocation]->empty())
            ical().icalcomponent_add_property(event,
                                              ical().icalproperty_new_location(row[kEvLocation]->c_str()));
        if (row[kEvText] && !row[kEvText]->empty())
            ical().icalcomponent_add_property(event,
                                              ical().icalproperty_new_description(row[kEvText]->c_str()));
        if (row[kEvRule] && !row[kEvRule]->empty()) {
            ical().icalcomponent_add_property(
                event,
                ical().icalproperty_new_rrule(ical().icalrecurrencetype_from_string(row[kEvRule]->c_str())));
        }
        addX(event, kZoneProperty, row[kEvZone]);
        addX(event, kAlarmProperty, row[kEvAlarm]);
        addX(event, kMinutesProperty, row[kEvMinutes]);
        addX(event, kCalendarProperty, row[kEvCalendar]);
        ical().icalcomponent_add_component(calendar, event);
    }
    std::string text = ical().icalcomponent_as_ical_string(calendar);
    ical().icalcomponent_free(calendar);
    return text;
}

std::vector<Row> eventsFromIcs(const std::string& text) {
    std::vector<Row> rows;
    icalcomponent* calendar = ical().icalparser_parse_string(text.c_str());
    if (calendar == nullptr) return rows;
    for (icalcomponent* event = ical().icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT);
         event != nullptr; event = ical().icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
        Row row(kEvFields);
        if (icalproperty* p = ical().icalcomponent_get_first_property(event, ICAL_SUMMARY_PROPERTY))
            row[kEvTitle] = ical().icalproperty_get_summary(p);
        if (icalproperty* p = ical().icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY))
            row[kEvStart] = msText(ical().icalproperty_get_dtstart(p));
        if (icalproperty* p = ical().icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY))
            row[kEvEnd] = msText(ical().icalproperty_get_dtend(p));
        if (icalproperty* p = ical().icalcomponent_get_first_property(event, ICAL_LOCATION_PROPERTY))
            row[kEvLocation] = ical().icalproperty_get_location(p);
        if (icalproperty* p = ical().icalcomponent_get_first_property(event, ICAL_DESCRIPTION_PROPERTY))
            row[kEvText] = ical().icalproperty_get_description(p);
        if (icalproperty* p = ical().icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY)) {
            struct icalrecurrencetype recurrence = ical().icalproperty_get_rrule(p);
            const char* rule = ical().icalrecurrencetype_as_string(&recurrence);
            if (rule != nullptr) row[kEvRule] = rule;
        }
        for (icalproperty* p = ical().icalcomponent_get_first_property(event, ICAL_X_PROPERTY); p != nullptr;
             p = ical().icalcomponent_get_next_property(event, ICAL_X_PROPERTY)) {
            const std::string name = ical().icalproperty_get_x_name(p);
            const char* value = ical().icalproperty_get_x(p);
            if (value == nullptr) continue;
            if (name == kZoneProperty) row[kEvZone] = value;
            if (name == kAlarmProperty) row[kEvAlarm] = value;
            if (name == kMinutesProperty) row[kEvMinutes] = value;
            if (name == kCalendarProperty) row[kEvCalendar] = value;
        }
        rows.push_back(std::move(row));
    }
    ical().icalcomponent_free(calendar);
    return rows;
}

std::string contactsToVCards(const std::vector<Row>& rows) {
    std::string out;
    for (const Row& row : rows) {
        if (row.size() < kPersonFields) continue;
        const std::string first = row[1].value_or(""), last = row[2].value_or("");
        const std::string full = first + (first.empty() || last.empty() ? "" : " ") + last;
        VCard card{{"FN", escapeVCardText(full)},
                   {"N", escapeVCardText(last) + ";" + escapeVCardText(first) + ";;;"}};
        for (const CardField& f : kCardFields) {
            if (row[f.field] && !row[f.field]->empty())
                card.emplace_back(f.property, escapeVCardText(*row[f.field]));
        }
        if (row[16] && !row[16]->empty())
            card.emplace_back("ADR;TYPE=HOME", ";;" + escapeVCardText(*row[16]) + ";;;;");
        if (row[17] && !row[17]->empty())
            card.emplace_back("ADR;TYPE=WORK", ";;" + escapeVCardText(*row[17]) + ";;;;");
        out += toVCard(card);
    }
    return out;
}

std::vector<Row> contactsFromVCards(const std::string& text) {
    std::vector<Row> rows;
    for (const VCard& card : parseVCards(text)) {
        Row row(kPersonFields);
        for (const auto& [name, value] : card) {
            if (name == "N") {
                const auto parts = components(value);
                if (!parts[0].empty()) row[2] = parts[0];
                if (parts.size() > 1 && !parts[1].empty()) row[1] = parts[1];
            } else if (name == "ADR;TYPE=HOME" || name == "ADR;TYPE=WORK") {
                const auto parts = components(value);
                if (parts.size() > 2) row[name == "ADR;TYPE=HOME" ? 16 : 17] = parts[2];
            } else {
                for (const CardField& f : kCardFields) {
                    if (name == f.property) row[f.field] = value;
                }
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<Row> rowsFromJson(const std::vector<std::string>& fields, const std::string& text) {
    std::vector<Row> rows;
    const nlohmann::json list = nlohmann::json::parse(text, nullptr, false);
    if (!list.is_array()) return rows;
    for (const nlohmann::json& item : list) {
        if (!item.is_object()) continue;
        Row row(fields.size());
        for (size_t i = 0; i < fields.size(); ++i) {
            auto it = item.find(fields[i]);
            if (it != item.end() && it->is_string() && !it->get<std::string>().empty())
                row[i] = it->get<std::string>();
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<Row> rowsFromCsv(const std::vector<std::string>& fields, const std::string& text) {
    std::vector<Row> rows;
    const auto table = parseCsv(text);
    if (table.empty()) return rows;
    std::vector<size_t> column(fields.size(), SIZE_MAX);
    for (size_t i = 0; i < fields.size(); ++i) {
        auto it = std::find(table[0].begin(), table[0].end(), fields[i]);
        if (it != table[0].end()) column[i] = static_cast<size_t>(it - table[0].begin());
    }
    for (size_t r = 1; r < table.size(); ++r) {
        Row row(fields.size());
        for (size_t i = 0; i < fields.size(); ++i) {
            if (column[i] < table[r].size() && !table[r][column[i]].empty()) row[i] = table[r][column[i]];
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace zentro::cli
