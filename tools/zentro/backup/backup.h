// The backup family of commands: backup (a phone into a folder), restore (a folder onto a phone)
// and copy (phone to phone), all over one model (record_kinds.h, backup_folder.h, media_sync.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace CLI {
class App;
} // namespace CLI

namespace zentro::cli {

// Registered by addBackupCommands with it.
void addRestoreCommand(CLI::App& app);
void addCopyCommand(CLI::App& app);

// What a host other than the terminal (the browser host) sees of a backup: each step as it
// starts and ends ("running", "done", "failed"), and a way to stop between steps.
struct BackupSteps {
    std::function<void(const std::string& step, const char* state)> changed;
    std::function<bool()> cancelled;
};

// Backs the phone at `device` up into `dir` (absolute) exactly as `zentro backup` does. Throws
// Failure when the backup is incomplete or stopped; what was written stays and a second run
// finishes it.
void backUpPhone(const std::string& dir, int32_t device, const BackupSteps& steps);

} // namespace zentro::cli
