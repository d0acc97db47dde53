// The text side of backups: digests, reading back the CSV, vCard and iCalendar files a backup
// writes, and writing the last two with every field a phone record holds. Pure functions; the
// commands choose files and phones.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/formats.h"

struct evp_md_ctx_st; // libcrypto's digest context

namespace zentro::cli {

// SHA-256, fed in pieces so large media files are hashed while they are read. libcrypto's, which
// uses the processor's SHA instructions: hashing 200 MiB of media is a visible share of a backup.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void update(const void* data, size_t size);
    std::string hexDigest(); // ends the digest; lower-case hex of 32 bytes

private:
    ::evp_md_ctx_st* context_;
};

std::string sha256Hex(std::string_view bytes);

// RFC 4180 text into rows of fields (quotes undone, CRLF or LF line ends). An empty field is
// an empty string; callers decide what that means. The formula guard of toCsv is undone.
std::vector<std::vector<std::string>> parseCsv(const std::string& text);

// Rows keyed by field name, as a JSON array of objects and as CSV with a header line: what is
// read back is the fields named in `fields`, in that order (unknown keys and columns ignored, an
// absent or empty value absent).
std::vector<Row> rowsFromJson(const std::vector<std::string>& fields, const std::string& text);
std::vector<Row> rowsFromCsv(const std::vector<std::string>& fields, const std::string& text);

// Calendar rows in the order of the CLI's event fields: id, calendarId, title, start, end,
// location, timeZone, description, hasAlarm, reminderMinutes, recurrenceRule. Start and end
// are milliseconds since 1970. What iCalendar has no property for goes into X- properties so
// that reading the file back gives the same rows (ids excepted).
std::string eventsToIcs(const std::vector<Row>& rows);
std::vector<Row> eventsFromIcs(const std::string& text);

// Contact rows in the order of the person fields (0 id ... 20 work e-mail).
std::string contactsToVCards(const std::vector<Row>& rows);
std::vector<Row> contactsFromVCards(const std::string& text);

} // namespace zentro::cli
