// Reading what adb prints: captured runs into temporary files, and the four property queries
// that fill a device row.
#pragma once

#include <cstddef>
#include <string>

#include "core/state.h"

namespace zentro::bridge {

enum class CaptureResult { Read, TooLarge, Unreadable };

// Runs adb with `args` capturing its output into a fresh temporary file and reads that file as
// text ("\r\n" as "\n"). Files of more than `maxBytes` bytes are not read (TooLarge); such a
// file is deleted only when `deleteTooLarge` is set. Every file that was read is deleted.
CaptureResult captureAdbOutput(const char* args, size_t maxBytes, bool deleteTooLarge, std::string& text);

// Stores one property reply into its field the way each field wants it. Pure.
void storeVersion(core::DeviceEntry& row, const std::string& output); // versionText + androidVersion
void storeModel(core::DeviceEntry& row, const std::string& output);
void storeBrand(core::DeviceEntry& row, const std::string& output);
void storeBuildPda(core::DeviceEntry& row, const std::string& output);

// The four getprop queries for the row's serial (release, model, manufacturer, PDA), in that
// order. A query that fails or answers 64 bytes or more leaves its field empty. False, with
// nothing run, when the row's serial could not stand on an adb command line.
bool readDeviceProperties(int deviceIndex);

} // namespace zentro::bridge
