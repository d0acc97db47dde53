#include "adb/png.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace zsim::adb {

namespace {

void putBe32(std::string& out, uint32_t value) {
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

void chunk(std::string& png, const char* type, const std::string& data) {
    putBe32(png, static_cast<uint32_t>(data.size()));
    std::string body(type, 4);
    body += data;
    png += body;
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    putBe32(png, static_cast<uint32_t>(crc));
}

} // namespace

std::string makeScreenshotPng(uint32_t seed, int width, int height) {
    width = std::clamp(width, 1, 4096);
    height = std::clamp(height, 1, 4096);
    const auto w = static_cast<size_t>(width);
    const auto h = static_cast<size_t>(height);

    // A status bar, a coloured field and a few tiles, so the picture is not a flat fill.
    const uint8_t baseR = static_cast<uint8_t>(seed * 53u + 40u);
    const uint8_t baseG = static_cast<uint8_t>(seed * 97u + 80u);
    const uint8_t baseB = static_cast<uint8_t>(seed * 193u + 120u);
    std::vector<unsigned char> raw;
    raw.reserve(h * (1 + 3 * w));
    for (size_t y = 0; y < h; ++y) {
        raw.push_back(0); // filter type: none
        for (size_t x = 0; x < w; ++x) {
            unsigned char r, g, b;
            if (y < h / 20 + 1) {
                r = g = b = 24;
            } else if ((x / 30 + y / 30) % 5 == seed % 5) {
                r = g = b = 240;
            } else {
                r = static_cast<unsigned char>(baseR + x * 64 / w);
                g = static_cast<unsigned char>(baseG + y * 64 / h);
                b = baseB;
            }
            raw.push_back(r);
            raw.push_back(g);
            raw.push_back(b);
        }
    }

    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, raw.data(),
                  static_cast<uLong>(raw.size()), Z_BEST_SPEED) != Z_OK)
        return {};
    packed.resize(packedSize);

    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    putBe32(header, static_cast<uint32_t>(width));
    putBe32(header, static_cast<uint32_t>(height));
    header += '\x08'; // bit depth
    header += '\x02'; // colour type: RGB
    header += '\x00'; // compression
    header += '\x00'; // filter
    header += '\x00'; // no interlace
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", packed);
    chunk(png, "IEND", "");
    return png;
}

} // namespace zsim::adb
