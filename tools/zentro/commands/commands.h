// Each command family adds its subcommands to the application.
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <vector>

namespace zentro::cli {

void addDeviceCommands(CLI::App& app);
void addRecordCommands(CLI::App& app);
void addPairCommands(CLI::App& app);
void addAppCommands(CLI::App& app);
void addMediaCommands(CLI::App& app);
void addDemoCommand(CLI::App& app);
void addBackupCommands(CLI::App& app); // backup, restore, copy

// Every application on the phone of --device with all its details; Failure when Ctrl-C cut the
// listing short.
std::vector<nlohmann::ordered_json> readApps();

} // namespace zentro::cli
