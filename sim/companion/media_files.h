// Real, small media files for the virtual phone: pictures, sounds, clips and package files that
// ordinary tools open. Everything is uncompressed (stored) so no codec library is needed, and
// deterministic for a given seed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zsim::companion {

uint32_t crc32(std::string_view bytes, uint32_t crc = 0);

// A 24-bit PNG of a little outdoor scene drawn from `seed`; the same seed at another size
// gives the same scene, so a thumbnail looks like its photo.
std::string makeScenePng(int width, int height, uint64_t seed);
// A square album cover: two colours and a disc, from `seed`.
std::string makeCoverPng(int size, uint64_t seed);

// 8 kHz, 8-bit mono PCM WAV: a tone of `hz` for `millis`.
std::string makeToneWav(int hz, int millis);

// Uncompressed 24-bit AVI of `frames` frames at `fps` showing a bar that moves.
std::string makeClipAvi(int width, int height, int frames, int fps, uint64_t seed);

// A stored ZIP with one entry, the shape of a package file whose text names the package.
std::string makePackageZip(std::string_view packageName);

} // namespace zsim::companion
