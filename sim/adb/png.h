// A small, valid, deterministic PNG picture: what the phone's screen capture writes.
#pragma once

#include <cstdint>
#include <string>

namespace zsim::adb {

// An 8-bit RGB picture of width x height (each 1 to 4096) whose colours follow from `seed`.
std::string makeScreenshotPng(uint32_t seed, int width = 180, int height = 320);

} // namespace zsim::adb
