// The standard formats records leave the CLI in: CSV (RFC 4180), vCard 3.0, iCalendar.
// Pure text functions; the commands choose files and records.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zentro::cli {

using Cell = std::optional<std::string>; // nullopt: the phone sent no such field
using Row = std::vector<Cell>;

// Bytes of text the rows' cells hold plus `perCell` for each cell: what a writer reserves, so
// a text of a hundred thousand rows is not moved to a larger block again and again as it grows.
size_t rowsTextSize(const std::vector<Row>& rows, size_t perCell);

// One CSV text: the header line and the rows, CRLF line ends, fields quoted where they hold a
// comma, a quote, CR or LF (quotes doubled). A missing cell is an empty field. A cell that a
// spreadsheet would run as a formula (starting with =, +, -, @, tab or CR, after any quote
// marks) gets a leading ' so it shows as text.
std::string toCsv(const std::vector<std::string>& header, const std::vector<Row>& rows);

// The text a cell written by toCsv stood for: drops the ' of a formula guard.
std::string csvCellText(std::string field);

// A vCard 3.0 contact as a map of property name ("FN", "N", "TEL;TYPE=CELL", ...) to value. The
// writer escapes values (backslash, comma, semicolon, newline) and folds lines longer than 75
// octets; the reader unfolds and unescapes.
using VCard = std::vector<std::pair<std::string, std::string>>;
std::string toVCard(const VCard& card);
std::vector<VCard> parseVCards(const std::string& text);

// Escapes one vCard text value.
std::string escapeVCardText(const std::string& value);

// The file format a path asks for by its extension ("csv", "json", "vcf", "ics"), lower case.
std::string formatOfPath(const std::string& path);

} // namespace zentro::cli
