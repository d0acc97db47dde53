// Reading the phone's record lists through the exports into plain rows the commands print and
// export. One reader over a kind table: messages, calls, events and contacts differ in data.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "formats/formats.h"
#include "progress.h"

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

struct RecordSet {
    std::vector<Row> rows;
    bool complete = true;
};

// How a reading shows how far it got and hears that it should stop: the terminal draws a bar
// and stops at Ctrl-C; the browser host publishes events and stops at its Cancel button.
class ReadProgress {
public:
    using Poll = std::function<std::pair<int64_t, int64_t>()>; // done, total
    virtual ~ReadProgress() = default;
    virtual void begin(const std::string& noun) = 0;
    virtual void update(int64_t done, int64_t total) = 0;
    virtual void finish(const char* outcome) = 0;
    // Runs one blocking library call while showing `poll`; calls `abort` once if asked to stop.
    virtual WatchedWork watch(const std::function<int64_t()>& work, const Poll& poll,
                              const std::function<void()>& abort) = 0;
    // Checked between pages.
    virtual bool stopped() = 0;
};

// Every record of the kind on the phone at `device` (detected and prepared by the caller), as
// rows in the kind's field order; messages and calls newest first. On device 0 messages, calls
// and contacts come through the bulk refresh; a stop aborts it and keeps what arrived
// (`complete` says whether all did).
RecordSet readRecords(const RecordKind& kind, int32_t device, ReadProgress& progress);
// The same for the prepared phone of --device, with the terminal's progress bar and Ctrl-C.
RecordSet readRecords(const RecordKind& kind);

// The rows as a JSON array of objects keyed by field name (absent cells as null). With
// `isoDates`, each readable date field is followed by "<field>Iso", the moment in ISO 8601.
std::string rowsToJson(const RecordKind& kind, const std::vector<Row>& rows, bool isoDates = false);

// The cell of `field` in a row of `kind` (nullopt when absent).
const Cell& cellOf(const RecordKind& kind, const Row& row, const std::string& field);

} // namespace zentro::cli
