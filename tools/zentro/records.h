// Reading the phone's record lists through the exports into plain rows the commands print and
// export. One reader over a kind table: messages, calls, events and contacts differ in data.
#pragma once

#include <string>
#include <vector>

#include "formats/formats.h"

namespace zentro::cli {

struct RecordKind {
    const char* noun;                // "messages"
    std::vector<std::string> fields; // names of the node's leading text fields, in order
    std::vector<std::string> dates;  // the fields that hold a date (phone text or milliseconds)
};

const RecordKind& messageKind();
const RecordKind& callKind();
const RecordKind& eventKind();
const RecordKind& contactKind();

// Every record of the kind on the phone of --device, as rows in the kind's field order. On
// device 0 messages, calls and contacts come through the bulk refresh with a progress bar;
// Ctrl-C aborts it and keeps what arrived (`complete` says whether all did).
struct RecordSet {
    std::vector<Row> rows;
    bool complete = true;
};
RecordSet readRecords(const RecordKind& kind);

// The rows as a JSON array of objects keyed by field name (absent cells as null). With
// `isoDates`, each readable date field is followed by "<field>Iso", the moment in ISO 8601.
std::string rowsToJson(const RecordKind& kind, const std::vector<Row>& rows, bool isoDates = false);

// The cell of `field` in a row of `kind` (nullopt when absent).
const Cell& cellOf(const RecordKind& kind, const Row& row, const std::string& field);

} // namespace zentro::cli
