// Adding records and media to a phone without doubling what it holds: used by restore (from a
// backup folder) and copy (from another phone).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "backup/backup.h"
#include "records.h"

namespace zentro::cli {

struct Tally {
    size_t added = 0;
    size_t skipped = 0; // the phone held it already
    size_t failed = 0;  // the phone refused it
    bool interrupted = false;
};

// Points the record readers (which follow --device) at another phone for a while.
class DeviceScope {
public:
    explicit DeviceScope(int32_t device);
    ~DeviceScope();
    DeviceScope(const DeviceScope&) = delete;
    DeviceScope& operator=(const DeviceScope&) = delete;

private:
    int32_t saved_;
};

// Each adds the rows (in the CLI's field order of the kind) that the phone lacks.
Tally restoreContacts(const std::vector<Row>& rows, int32_t device);
Tally restoreEvents(const std::vector<Row>& rows, int32_t device);
Tally restoreCalls(const std::vector<Row>& rows, int32_t device);
// Takes the default-messaging role on phones that need it and gives it back in every case.
Tally restoreMessages(const std::vector<Row>& rows, int32_t device);

// Uploads every file of `folder` whose name and size the phone's catalogue lacks.
Tally restoreMedia(const MediaKind& kind, const std::string& folder, int32_t device);

std::vector<Row> rowsFromJson(const RecordKind& kind, const std::string& text);
std::vector<Row> rowsFromCsv(const RecordKind& kind, const std::string& text);

} // namespace zentro::cli
