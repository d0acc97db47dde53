// What backup, restore and copy share: the backup folder's file names, digests, and writing
// files so that a name only ever holds a complete file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media_items.h"

namespace CLI {
class App;
} // namespace CLI

namespace zentro::cli {

// Registered by addBackupCommands with it.
void addRestoreCommand(CLI::App& app);
void addCopyCommand(CLI::App& app);

// Makes `path` hold `bytes`: written under a temporary name beside it, then renamed. Throws
// Failure when the disk refuses.
void writeFileAtomically(const std::string& path, const std::string& bytes);

// The temporary name of a final path in the same folder; leftovers of a killed run carry it.
std::string partialPathOf(const std::string& path);

// Size and SHA-256 of a file; false when it cannot be read.
bool fileDigest(const std::string& path, int64_t& size, std::string& sha256);

int64_t fileSize(const std::string& path); // -1 when missing

} // namespace zentro::cli
