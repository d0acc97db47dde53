// The backup family of commands: backup (a phone into a folder), restore (a folder onto a phone)
// and copy (phone to phone), all over one model (record_kinds.h, backup_folder.h, media_sync.h).
#pragma once

namespace CLI {
class App;
} // namespace CLI

namespace zentro::cli {

// Registered by addBackupCommands with it.
void addRestoreCommand(CLI::App& app);
void addCopyCommand(CLI::App& app);

} // namespace zentro::cli
