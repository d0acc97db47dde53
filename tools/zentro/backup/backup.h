// The backup family of commands: backup (a phone into a folder), restore (a folder onto a phone)
// and copy (phone to phone), all over one model (record_kinds.h, backup_folder.h, media_sync.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace CLI {
class App;
} // namespace CLI

namespace zentro::cli {

class ReadProgress;

// Registered by addBackupCommands with it.
void addRestoreCommand(CLI::App& app);
void addCopyCommand(CLI::App& app);

// What a host other than the terminal (the browser host) sees of a backup: each step as it
// starts and ends ("running", "done", "failed"), a way to stop between steps, and the progress
// of each record kind's reading (the terminal's bar when null).
struct BackupSteps {
    std::function<void(const std::string& step, const char* state)> changed;
    std::function<bool()> cancelled;
    ReadProgress* reading = nullptr;
};

// Backs the phone at `device` up into `dir` (absolute) exactly as `zentro backup` does. Throws
// Failure when the backup is incomplete or stopped; what was written stays and a second run
// finishes it.
void backUpPhone(const std::string& dir, int32_t device, const BackupSteps& steps);

// Restores the backup in `dir` (absolute) onto the phone at `device` exactly as `zentro restore`
// does, for the kinds in `what` (comma-separated); with `dryRun` nothing changes. Steps are the
// kinds ("running", then "done", "failed", "skipped" or "cancelled"). The report is what
// `zentro restore --json` prints; Failure when there is no backup or the restore was stopped.
nlohmann::ordered_json restoreBackup(const std::string& dir, int32_t device, const std::string& what,
                                     bool dryRun, const BackupSteps& steps);

} // namespace zentro::cli
