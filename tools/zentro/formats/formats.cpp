#include "formats/formats.h"

#include <algorithm>
#include <cctype>

namespace zentro::cli {
namespace {

bool needsQuotes(const std::string& field) { return field.find_first_of(",\"\r\n") != std::string::npos; }

// A spreadsheet runs a cell that starts with one of these as a formula.
bool isFormulaStart(char c) { return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r'; }

// Quotes ahead of a formula start: such a cell gets one more on the way out and loses one on
// the way in, so every text reads back as it was written.
bool quotedFormula(const std::string& field, size_t quotes) {
    const size_t at = field.find_first_not_of('\'');
    return at != std::string::npos && at >= quotes && isFormulaStart(field[at]);
}

void appendCsvField(std::string& out, const Cell& cell) {
    if (!cell) return;
    // Appended in place: a copy per cell costs more than the rest of the writing.
    const std::string& text = *cell;
    const bool guard = quotedFormula(text, 0);
    if (!needsQuotes(text)) {
        if (guard) out += '\'';
        out += text;
        return;
    }
    out += guard ? "\"'" : "\"";
    for (size_t at = 0;;) {
        const size_t quote = text.find('"', at);
        if (quote == std::string::npos) {
            out.append(text, at);
            break;
        }
        out.append(text, at, quote + 1 - at);
        out += '"';
        at = quote + 1;
    }
    out += '"';
}

bool continuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Folds a content line: no line longer than 75 octets, continuation lines start with a blank.
// A fold never splits a UTF-8 sequence; where no character starts within the 3 bytes before
// the limit the text is not UTF-8 there, and it is cut at the limit.
std::string fold(const std::string& line) {
    std::string out;
    size_t start = 0, limit = 75;
    while (line.size() - start > limit) {
        size_t cut = start + limit, back = cut;
        while (cut - back < 3 && continuationByte(line[back])) --back;
        if (!continuationByte(line[back])) cut = back;
        out += line.substr(start, cut - start) + "\r\n ";
        start = cut;
        limit = 74; // the leading blank counts
    }
    return out + line.substr(start) + "\r\n";
}

std::string unescapeVCardText(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            char next = value[++i];
            out += next == 'n' || next == 'N' ? '\n' : next;
        } else {
            out += value[i];
        }
    }
    return out;
}

} // namespace

std::string csvCellText(std::string field) {
    if (quotedFormula(field, 1)) field.erase(0, 1);
    return field;
}

size_t rowsTextSize(const std::vector<Row>& rows, size_t perCell) {
    size_t size = 0;
    for (const Row& row : rows) {
        size += row.size() * perCell;
        for (const Cell& cell : row) size += cell ? cell->size() : 0;
    }
    return size;
}

std::string toCsv(const std::vector<std::string>& header, const std::vector<Row>& rows) {
    std::string out;
    out.reserve(rowsTextSize(rows, 2) + 64 * header.size()); // a separator, a line end, a little quoting
    for (size_t i = 0; i < header.size(); ++i) {
        if (i) out += ',';
        appendCsvField(out, header[i]);
    }
    out += "\r\n";
    for (const Row& row : rows) {
        for (size_t i = 0; i < row.size(); ++i) {
            if (i) out += ',';
            appendCsvField(out, row[i]);
        }
        out += "\r\n";
    }
    return out;
}

std::string escapeVCardText(const std::string& value) {
    std::string out;
    for (char c : value) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case ',': out += "\\,"; break;
        case ';': out += "\\;"; break;
        case '\n': out += "\\n"; break;
        case '\r': break;
        default: out += c;
        }
    }
    return out;
}

std::string toVCard(const VCard& card) {
    std::string out = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    for (const auto& [name, value] : card) out += fold(name + ":" + value);
    return out + "END:VCARD\r\n";
}

std::vector<VCard> parseVCards(const std::string& text) {
    // Unfold first: a line end followed by a blank or tab continues the line.
    std::vector<std::string> lines;
    std::string current;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') continue;
        if (c == '\n') {
            if (i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == '\t')) {
                ++i;
                continue;
            }
            lines.push_back(current);
            current.clear();
            continue;
        }
        current += c;
    }
    if (!current.empty()) lines.push_back(current);

    std::vector<VCard> cards;
    bool inside = false;
    for (const std::string& line : lines) {
        std::string upper = line;
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](unsigned char c) { return std::toupper(c); });
        if (upper == "BEGIN:VCARD") {
            inside = true;
            cards.emplace_back();
        } else if (upper == "END:VCARD") {
            inside = false;
        } else if (inside) {
            size_t colon = line.find(':');
            if (colon == std::string::npos) continue;
            std::string name = upper.substr(0, colon);
            if (name == "VERSION") continue;
            // Structured values (N, ADR) keep their unescaped ";" separators for the caller.
            std::string value = line.substr(colon + 1);
            cards.back().emplace_back(
                name, name == "N" || name.rfind("ADR", 0) == 0 ? value : unescapeVCardText(value));
        }
    }
    return cards;
}

std::string formatOfPath(const std::string& path) {
    size_t dot = path.rfind('.');
    size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

} // namespace zentro::cli
