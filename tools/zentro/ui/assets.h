// The page's files, compiled into the binary by embed.cmake.
#pragma once

#include <cstddef>

namespace zentro::ui {

struct Asset {
    const char* path; // "/app.js"
    const unsigned char* data;
    size_t size;
};

extern const Asset kAssets[];
extern const size_t kAssetCount;

} // namespace zentro::ui
