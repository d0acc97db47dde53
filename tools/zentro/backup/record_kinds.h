// The record kinds a backup holds, one row each: the file and codec, how a record is added to a
// phone, and which fields make two records the same. Backup, restore and copy all read it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "records.h"

namespace zentro::cli {

struct Tally {
    size_t added = 0;
    size_t skipped = 0; // the phone held it already
    size_t failed = 0;  // the phone refused it, or the backup's copy was not the one recorded
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

struct BackupKind {
    const char* name; // "contacts": the --what word and the report's key
    const RecordKind& (*records)();
    const char* file; // in the backup folder
    std::string (*encode)(const std::vector<Row>& rows);
    std::vector<Row> (*decode)(const std::string& text);
    // Every field the phone keeps of an added record: two records are one only when all are equal.
    std::vector<size_t> identity;
    bool (*add)(const Row& row, int32_t device);
    // The row as the phone would hold it once added (contacts: one name); null when unchanged.
    void (*asPhoneKeeps)(Row& row);
};

// Contacts first (the phone names calls and messages after them), then calendar, calls, messages.
const std::vector<BackupKind>& backupKinds();
const BackupKind* backupKind(const std::string& name);

// The identity of a row: its identity fields, absent and empty alike.
std::string identityOf(const BackupKind& kind, const Row& row);

// Every record of the kind on the phone; Failure when the reading was cut short (adding without
// knowing what is there would make duplicates).
std::vector<Row> readAll(const BackupKind& kind, int32_t device);

// Adds the rows the phone lacks (by identity; a row twice in `rows` is added twice only when the
// phone lacks it twice). With `dryRun` nothing is added: `added` counts what would be.
Tally addMissing(const BackupKind& kind, const std::vector<Row>& rows, int32_t device, bool dryRun);

} // namespace zentro::cli
