// Each command family adds its subcommands to the application.
#pragma once

#include <CLI/CLI.hpp>

namespace zentro::cli {

void addDeviceCommands(CLI::App& app);
void addRecordCommands(CLI::App& app);
void addPairCommands(CLI::App& app);
void addAppCommands(CLI::App& app);
void addMediaCommands(CLI::App& app);
void addDemoCommand(CLI::App& app);
void addBackupCommands(CLI::App& app); // backup, restore, copy

} // namespace zentro::cli
