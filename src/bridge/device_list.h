// The adb device list and the text rules around it. Pure functions over the library state
// they are handed: no I/O, so every case can be tested without a phone.
#pragma once

#include <cstddef>
#include <string>

#include "core/state.h"

namespace zentro::bridge {

// Captured output is read as a text-mode file would be on Windows: "\r\n" becomes "\n".
void toTextMode(std::string& text);

// Empties serial and state of every row adb fills; the WiFi rows stay as they are. Done before
// each listing is read, so a phone that is gone leaves no row behind.
void clearAdbRows(core::LibraryState& st);

// Fills the device table from the text of "adb devices": sets the row count to the WiFi count,
// writes one row per new phone behind the WiFi rows (at most ten rows in all) and keeps the
// first two phones at the index where they were first seen.
void parseDeviceList(const char* text, core::LibraryState& st);

// Swaps serial and state of rows 0 and 1 back when the remembered phones changed places.
void keepRememberedPhones(core::LibraryState& st);

// Property text rule for model and brand: everything but '-', '.', '/', digits, letters and
// "[\]^_`" becomes a blank, up to the terminating zero.
void blankUnsafeCharacters(char* text);

} // namespace zentro::bridge
