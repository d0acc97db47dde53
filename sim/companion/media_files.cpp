#include "companion/media_files.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace zsim::companion {

namespace {

const std::array<uint32_t, 256>& crcTable() {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table;
}

void putBe32(std::string& out, uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void putLe16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void putLe32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void setLe32(std::string& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint64_t mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

struct Rgb {
    uint8_t r, g, b;
};

Rgb colourFrom(uint64_t bits, int lo, int hi) {
    auto channel = [&](int shift) {
        return static_cast<uint8_t>(lo + static_cast<int>((bits >> shift) & 0xFF) * (hi - lo) / 255);
    };
    return {channel(0), channel(8), channel(16)};
}

// Stores one pixel of a tightly packed RGB picture `width` pixels wide.
void putPixel(std::string& rgb, int width, int x, int y, Rgb c) {
    const size_t at = (static_cast<size_t>(y) * width + x) * 3;
    rgb[at] = static_cast<char>(c.r);
    rgb[at + 1] = static_cast<char>(c.g);
    rgb[at + 2] = static_cast<char>(c.b);
}

void pngChunk(std::string& out, const char* type, std::string_view data) {
    putBe32(out, static_cast<uint32_t>(data.size()));
    std::string body(type, 4);
    body.append(data);
    out.append(body);
    putBe32(out, crc32(body));
}

// Raw RGB rows (top first) into a PNG with stored deflate blocks.
std::string encodePng(int width, int height, const std::string& rgb) {
    std::string raw;
    raw.reserve(static_cast<size_t>(height) * (1 + width * 3));
    for (int y = 0; y < height; ++y) {
        raw.push_back('\0'); // filter: none
        raw.append(rgb, static_cast<size_t>(y) * width * 3, static_cast<size_t>(width) * 3);
    }
    std::string z = "\x78\x01";
    uint32_t a = 1, b = 0; // adler-32
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    size_t pos = 0;
    do {
        const size_t len = std::min<size_t>(65535, raw.size() - pos);
        const bool last = pos + len == raw.size();
        z.push_back(last ? '\x01' : '\x00');
        putLe16(z, static_cast<uint32_t>(len));
        putLe16(z, static_cast<uint32_t>(~len & 0xFFFF));
        z.append(raw, pos, len);
        pos += len;
    } while (pos < raw.size());
    putBe32(z, (b << 16) | a);

    std::string out = "\x89PNG\r\n\x1a\n";
    std::string ihdr;
    putBe32(ihdr, static_cast<uint32_t>(width));
    putBe32(ihdr, static_cast<uint32_t>(height));
    ihdr += std::string("\x08\x02\x00\x00\x00", 5); // 8-bit RGB, deflate, no filter method, no interlace
    pngChunk(out, "IHDR", ihdr);
    pngChunk(out, "IDAT", z);
    pngChunk(out, "IEND", "");
    return out;
}

} // namespace

uint32_t crc32(std::string_view bytes, uint32_t crc) {
    const auto& table = crcTable();
    crc = ~crc;
    for (unsigned char c : bytes) crc = table[(crc ^ c) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::string makeScenePng(int width, int height, uint64_t seed) {
    width = std::clamp(width, 1, 4096);
    height = std::clamp(height, 1, 4096);
    const uint64_t h1 = mix(seed), h2 = mix(h1), h3 = mix(h2);
    const Rgb skyTop = colourFrom(h1, 40, 200), skyLow = colourFrom(h1 >> 24, 150, 255);
    const Rgb ground = colourFrom(h2, 20, 140), sun = colourFrom(h2 >> 24, 200, 255);
    const Rgb house = colourFrom(h3, 60, 230);
    const double horizon = 0.5 + static_cast<double>(h3 >> 40 & 0xFF) / 255.0 * 0.3;
    const double sunX = static_cast<double>(h3 >> 48 & 0xFF) / 255.0, sunY = horizon * 0.4;
    const double houseX = 0.1 + static_cast<double>(h2 >> 56) / 255.0 * 0.6;

    std::string rgb(static_cast<size_t>(width) * height * 3, '\0');
    for (int y = 0; y < height; ++y) {
        const double v = (y + 0.5) / height;
        for (int x = 0; x < width; ++x) {
            const double u = (x + 0.5) / width;
            Rgb c;
            const double du = (u - sunX) * width / height, dv = v - sunY;
            if (du * du + dv * dv < 0.012) {
                c = sun;
            } else if (u > houseX && u < houseX + 0.25 && v > horizon - 0.2 && v < horizon + 0.05) {
                c = house;
            } else if (v < horizon) {
                const double t = v / horizon;
                c = {static_cast<uint8_t>(skyTop.r + (skyLow.r - skyTop.r) * t),
                     static_cast<uint8_t>(skyTop.g + (skyLow.g - skyTop.g) * t),
                     static_cast<uint8_t>(skyTop.b + (skyLow.b - skyTop.b) * t)};
            } else {
                c = ground;
            }
            putPixel(rgb, width, x, y, c);
        }
    }
    return encodePng(width, height, rgb);
}

std::string makeCoverPng(int size, uint64_t seed) {
    size = std::clamp(size, 1, 1024);
    const uint64_t h = mix(seed ^ 0xC0FEull);
    const Rgb back = colourFrom(h, 30, 220), disc = colourFrom(h >> 24, 0, 90);
    std::string rgb(static_cast<size_t>(size) * size * 3, '\0');
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double dx = (x + 0.5) / size - 0.5, dy = (y + 0.5) / size - 0.5;
            const double r2 = dx * dx + dy * dy;
            const Rgb c = (r2 < 0.16 && r2 > 0.004) ? disc : back;
            putPixel(rgb, size, x, y, c);
        }
    }
    return encodePng(size, size, rgb);
}

std::string makeToneWav(int hz, int millis) {
    constexpr uint32_t kRate = 8000;
    millis = std::clamp(millis, 0, 600000);
    const uint32_t samples = static_cast<uint32_t>(static_cast<uint64_t>(kRate) * millis / 1000);
    std::string out = "RIFF";
    putLe32(out, 36 + samples);
    out += "WAVEfmt ";
    putLe32(out, 16);
    putLe16(out, 1);     // PCM
    putLe16(out, 1);     // mono
    putLe32(out, kRate); // sample rate
    putLe32(out, kRate); // byte rate
    putLe16(out, 1);     // block align
    putLe16(out, 8);     // bits per sample
    out += "data";
    putLe32(out, samples);
    constexpr double kTwoPi = 6.283185307179586;
    for (uint32_t i = 0; i < samples; ++i) {
        const double s = std::sin(kTwoPi * hz * i / kRate);
        out.push_back(static_cast<char>(static_cast<uint8_t>(128 + 90 * s)));
    }
    return out;
}

std::string makeClipAvi(int width, int height, int frames, int fps, uint64_t seed) {
    width = std::clamp(width, 4, 640) & ~3; // rows of 24-bit pixels then need no padding
    height = std::clamp(height, 1, 480);
    frames = std::clamp(frames, 1, 1000);
    fps = std::clamp(fps, 1, 60);
    const uint32_t frameBytes = static_cast<uint32_t>(width * height * 3);
    const uint64_t h = mix(seed);
    const Rgb back = colourFrom(h, 0, 120), bar = colourFrom(h >> 24, 150, 255);

    std::string out = "RIFF";
    putLe32(out, 0); // patched at the end
    out += "AVI LIST";
    putLe32(out, 4 + 8 + 56 + 8 + 4 + 8 + 56 + 8 + 40);
    out += "hdrlavih";
    putLe32(out, 56);
    putLe32(out, static_cast<uint32_t>(1000000 / fps));
    putLe32(out, frameBytes * static_cast<uint32_t>(fps));
    putLe32(out, 0);
    putLe32(out, 0x10); // has index
    putLe32(out, static_cast<uint32_t>(frames));
    putLe32(out, 0);
    putLe32(out, 1); // streams
    putLe32(out, frameBytes);
    putLe32(out, static_cast<uint32_t>(width));
    putLe32(out, static_cast<uint32_t>(height));
    for (int i = 0; i < 4; ++i) putLe32(out, 0);
    out += "LIST";
    putLe32(out, 4 + 8 + 56 + 8 + 40);
    out += "strlstrh";
    putLe32(out, 56);
    out += "vidsDIB ";
    putLe32(out, 0); // flags
    putLe32(out, 0); // priority, language
    putLe32(out, 0); // initial frames
    putLe32(out, 1); // scale
    putLe32(out, static_cast<uint32_t>(fps));
    putLe32(out, 0);
    putLe32(out, static_cast<uint32_t>(frames));
    putLe32(out, frameBytes);
    putLe32(out, 0xFFFFFFFFu); // quality: default
    putLe32(out, 0);
    putLe16(out, 0);
    putLe16(out, 0);
    putLe16(out, static_cast<uint32_t>(width));
    putLe16(out, static_cast<uint32_t>(height));
    out += "strf";
    putLe32(out, 40);
    putLe32(out, 40);
    putLe32(out, static_cast<uint32_t>(width));
    putLe32(out, static_cast<uint32_t>(height));
    putLe16(out, 1);
    putLe16(out, 24);
    putLe32(out, 0); // BI_RGB
    putLe32(out, frameBytes);
    for (int i = 0; i < 4; ++i) putLe32(out, 0);

    out += "LIST";
    const size_t moviSizeAt = out.size();
    putLe32(out, 0);
    const size_t moviAt = out.size();
    out += "movi";
    std::string index = "idx1";
    putLe32(index, static_cast<uint32_t>(16 * frames));
    for (int f = 0; f < frames; ++f) {
        putLe32(index, 0x62643030u); // "00db"
        putLe32(index, 0x10);        // key frame
        putLe32(index, static_cast<uint32_t>(out.size() - moviAt));
        putLe32(index, frameBytes);
        out += "00db";
        putLe32(out, frameBytes);
        const int barX = (f * width) / frames;
        for (int y = 0; y < height; ++y) { // bottom-up rows, blue-green-red pixels
            for (int x = 0; x < width; ++x) {
                const Rgb c = (x >= barX && x < barX + std::max(1, width / 8)) ? bar : back;
                out.push_back(static_cast<char>(c.b));
                out.push_back(static_cast<char>(c.g));
                out.push_back(static_cast<char>(c.r));
            }
        }
    }
    setLe32(out, moviSizeAt, static_cast<uint32_t>(out.size() - moviAt));
    out += index;
    setLe32(out, 4, static_cast<uint32_t>(out.size() - 8));
    return out;
}

std::string makePackageZip(std::string_view packageName) {
    const std::string name = "AndroidManifest.txt";
    std::string data = "package=";
    data.append(packageName);
    data.push_back('\n');
    const uint32_t crc = crc32(data);
    constexpr uint32_t kDosTime = 0, kDosDate = (34u << 9) | (1u << 5) | 1u; // 2014-01-01

    std::string out;
    putLe32(out, 0x04034B50u);
    putLe16(out, 10);
    putLe16(out, 0);
    putLe16(out, 0); // stored
    putLe16(out, kDosTime);
    putLe16(out, kDosDate);
    putLe32(out, crc);
    putLe32(out, static_cast<uint32_t>(data.size()));
    putLe32(out, static_cast<uint32_t>(data.size()));
    putLe16(out, static_cast<uint32_t>(name.size()));
    putLe16(out, 0);
    out += name;
    out += data;
    const size_t centralAt = out.size();
    putLe32(out, 0x02014B50u);
    putLe16(out, 20);
    putLe16(out, 10);
    putLe16(out, 0);
    putLe16(out, 0);
    putLe16(out, kDosTime);
    putLe16(out, kDosDate);
    putLe32(out, crc);
    putLe32(out, static_cast<uint32_t>(data.size()));
    putLe32(out, static_cast<uint32_t>(data.size()));
    putLe16(out, static_cast<uint32_t>(name.size()));
    putLe16(out, 0);
    putLe16(out, 0);
    putLe16(out, 0);
    putLe16(out, 0);
    putLe32(out, 0);
    putLe32(out, 0); // local header offset
    out += name;
    const size_t centralSize = out.size() - centralAt;
    putLe32(out, 0x06054B50u);
    putLe16(out, 0);
    putLe16(out, 0);
    putLe16(out, 1);
    putLe16(out, 1);
    putLe32(out, static_cast<uint32_t>(centralSize));
    putLe32(out, static_cast<uint32_t>(centralAt));
    putLe16(out, 0);
    return out;
}

} // namespace zsim::companion
