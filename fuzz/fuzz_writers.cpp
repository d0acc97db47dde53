// The CLI's writers (CSV, vCard, iCalendar, JSON) and its safe-text routines over arbitrary
// bytes in every field, as a phone may send them: each ends, writes a bounded number of bytes
// per input byte, and writes a well-formed text that reads back as written.
#include <libical/ical.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "formats/backup_formats.h"
#include "formats/formats.h"
#include "formats/safe_text.h"
#include "fuzz_support.h"
#include "test_support.h"

namespace {

using zentro::cli::Cell;
using zentro::cli::Row;

bool isUtf8(const std::string& text) {
    try {
        (void)nlohmann::json(text).dump();
        return true;
    } catch (const nlohmann::json::exception&) {
        return false;
    }
}

std::string withoutCr(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// Bytes placed in the rows, and cells: what an output is bounded by.
size_t bytesIn(const std::vector<Row>& rows) {
    size_t bytes = 0;
    for (const Row& row : rows)
        for (const Cell& cell : row) bytes += cell ? cell->size() : 0;
    return bytes;
}

size_t cellsIn(const std::vector<Row>& rows) { return rows.size() * rows[0].size(); }

std::vector<Row> rowsOf(const std::vector<std::string>& parts, size_t width) {
    std::vector<Row> rows;
    size_t next = 0;
    const size_t count = std::max<size_t>(1, (parts.size() + width - 1) / width);
    for (size_t r = 0; r < count; ++r) {
        Row row(width);
        for (size_t f = 0; f < width; ++f, ++next) {
            const std::string& part = parts[next % parts.size()];
            if (!part.empty() || next % 3 != 0) row[f] = part; // some cells missing
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void checkCsv(const std::vector<Row>& rows) {
    std::vector<std::string> header;
    for (size_t i = 0; i < rows[0].size(); ++i) header.push_back("f" + std::to_string(i));
    const std::string text = zentro::cli::toCsv(header, rows);
    FUZZ_CHECK(text.size() <= 2 * bytesIn(rows) + 4 * cellsIn(rows) + 8 * header.size() + 2 * rows.size());
    const auto back = zentro::cli::parseCsv(text);
    FUZZ_CHECK(back.size() == rows.size() + 1);
    for (size_t r = 0; r < rows.size(); ++r) {
        FUZZ_CHECK(back[r + 1].size() == rows[r].size());
        for (size_t f = 0; f < rows[r].size(); ++f) {
            FUZZ_CHECK(back[r + 1][f] == rows[r][f].value_or(""));
            // The cell as written never starts a formula.
            if (!rows[r][f] || rows[r][f]->empty()) continue;
            const std::string one = zentro::cli::toCsv({"h"}, {{rows[r][f]}});
            const size_t at = one[3] == '"' ? 4 : 3;
            FUZZ_CHECK(std::string("=+-@\t\r").find(one[at]) == std::string::npos);
        }
    }
}

void checkVCards(const std::vector<Row>& rows) {
    const std::string text = zentro::cli::contactsToVCards(rows);
    FUZZ_CHECK(text.size() <= 5 * bytesIn(rows) + 40 * cellsIn(rows) + 64 * rows.size());
    size_t begins = 0;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find("\r\n", start);
        FUZZ_CHECK(end != std::string::npos);
        FUZZ_CHECK(end - start <= 75);
        const std::string line = text.substr(start, end - start);
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
        if (line == "BEGIN:VCARD") ++begins;
        start = end + 2;
    }
    FUZZ_CHECK(begins == rows.size());
    const auto back = zentro::cli::contactsFromVCards(text);
    FUZZ_CHECK(back.size() == rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        // Names travel in N; the other fields one property each (mobile, note, organisation).
        for (size_t f : {1u, 2u, 4u, 11u, 12u, 16u}) {
            FUZZ_CHECK(back[r][f].value_or("") == withoutCr(rows[r][f].value_or("")));
        }
    }
}

void checkCalendar(const std::vector<Row>& rows) {
    const std::string text = zentro::cli::eventsToIcs(rows);
    FUZZ_CHECK(text.size() <= 4 * bytesIn(rows) + 64 * cellsIn(rows) + 512 * rows.size() + 256);
    icalcomponent* calendar = icalparser_parse_string(text.c_str());
    FUZZ_CHECK(calendar != nullptr);
    FUZZ_CHECK(static_cast<size_t>(icalcomponent_count_components(calendar, ICAL_VEVENT_COMPONENT)) ==
               rows.size());
    icalcomponent_free(calendar);
}

void checkJson(const std::vector<Row>& rows) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const Row& row : rows) {
        nlohmann::ordered_json object = nlohmann::ordered_json::object();
        for (size_t f = 0; f < row.size(); ++f)
            object["f" + std::to_string(f)] = row[f] ? nlohmann::ordered_json(*row[f]) : nullptr;
        list.push_back(std::move(object));
    }
    const std::string text = zentro::cli::jsonText(list, 2);
    FUZZ_CHECK(text.size() <= 6 * bytesIn(rows) + 32 * cellsIn(rows) + 16 * rows.size() + 16);
    FUZZ_CHECK(!ztest::holdsTerminalControls(text));
    const auto back = nlohmann::ordered_json::parse(text); // strict: throws on a byte that is not UTF-8
    FUZZ_CHECK(back.size() == rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t f = 0; f < rows[r].size(); ++f) {
            const auto& value = back[r]["f" + std::to_string(f)];
            if (!rows[r][f]) {
                FUZZ_CHECK(value.is_null());
            } else if (isUtf8(*rows[r][f])) {
                FUZZ_CHECK(value.get<std::string>() == *rows[r][f]);
            }
        }
    }
}

void checkSafeText(const std::string& text) {
    const std::string name = zentro::cli::safeFileName(text, "7");
    FUZZ_CHECK(!name.empty() && name.size() <= zentro::cli::kMaxSafeNameBytes);
    FUZZ_CHECK(isUtf8(name) && !ztest::holdsTerminalControls(name) && name.find('\n') == std::string::npos);
    FUZZ_CHECK(name.find_first_of("/\\<>:\"|?*") == std::string::npos);
    FUZZ_CHECK(name[0] != '.' && name[0] != ' ' && name.back() != '.' && name.back() != ' ');
    FUZZ_CHECK(name == zentro::cli::safeFileName(name, "7")); // a safe name stays as it is
    const std::string shown = zentro::cli::terminalSafe(text);
    FUZZ_CHECK(shown.size() <= 4 * text.size());
    FUZZ_CHECK(isUtf8(shown) && !ztest::holdsTerminalControls(shown) &&
               shown.find('\n') == std::string::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0; // long enough for every folding and cutting case
    const std::vector<std::string> parts = zfuzz::splitAtZero(data, size);
    checkSafeText(std::string(reinterpret_cast<const char*>(data), size));
    checkCsv(rowsOf(parts, 8));
    checkVCards(rowsOf(parts, 21));
    checkCalendar(rowsOf(parts, 11));
    checkJson(rowsOf(parts, 6));
    return 0;
}
