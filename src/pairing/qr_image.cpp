#include "pairing/qr_image.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <qrencode.h>

namespace zentro::pairing {
namespace {

constexpr unsigned char kDarkBlue = 195;
constexpr unsigned char kDarkGreen = 132;
constexpr unsigned char kDarkRed = 38;
constexpr int kMaxWidth = 177; // the largest symbol there is

void put16(unsigned char* at, uint16_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void put32(unsigned char* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

} // namespace

size_t qrBitmapFileSize(int width) {
    if (width < 1 || width > kMaxWidth) return 0;
    const size_t side = static_cast<size_t>(width) * kPixelsPerModule;
    return kBitmapHeaderSize + side * 3 * side;
}

void fillQrBitmap(int width, const unsigned char* modules, unsigned char* out) {
    const size_t fileSize = qrBitmapFileSize(width);
    if (fileSize == 0 || modules == nullptr || out == nullptr) return;
    const auto side = static_cast<uint32_t>(width * kPixelsPerModule);
    const size_t rowBytes = static_cast<size_t>(side) * 3; // a multiple of 4: no row padding

    std::memset(out, 0, kBitmapHeaderSize);
    out[0] = 'B';
    out[1] = 'M';
    put32(out + 2, static_cast<uint32_t>(fileSize));
    put32(out + 10, kBitmapHeaderSize);
    put32(out + 14, 40);
    put32(out + 18, side);
    put32(out + 22, static_cast<uint32_t>(-static_cast<int32_t>(side))); // negative: top row first
    put16(out + 26, 1);
    put16(out + 28, 24);

    unsigned char* pixels = out + kBitmapHeaderSize;
    std::memset(pixels, 255, fileSize - kBitmapHeaderSize);
    for (int y = 0; y < width; ++y) {
        for (int x = 0; x < width; ++x) {
            if ((modules[static_cast<size_t>(y) * width + x] & 1) == 0) continue;
            for (int row = 0; row < kPixelsPerModule; ++row) {
                unsigned char* p = pixels + (static_cast<size_t>(y) * kPixelsPerModule + row) * rowBytes +
                                   static_cast<size_t>(x) * kPixelsPerModule * 3;
                for (int column = 0; column < kPixelsPerModule; ++column, p += 3) {
                    p[0] = kDarkBlue;
                    p[1] = kDarkGreen;
                    p[2] = kDarkRed;
                }
            }
        }
    }
}

bool writeQrImage(const char* path, const char* text) {
    QRcode* symbol = QRcode_encodeString(text != nullptr ? text : "", 0, QR_ECLEVEL_H, QR_MODE_8, 1);
    if (symbol == nullptr) {
        std::printf("NULL returned");
        return false;
    }
    const size_t size = qrBitmapFileSize(symbol->width);
    auto* bytes = size != 0 ? static_cast<unsigned char*>(std::malloc(size)) : nullptr;
    if (bytes == nullptr) {
        std::printf("Out of memory");
        QRcode_free(symbol);
        return false;
    }
    fillQrBitmap(symbol->width, symbol->data, bytes);
    QRcode_free(symbol);

    bool written = false;
    std::FILE* file = path != nullptr ? std::fopen(path, "wb") : nullptr;
    if (file == nullptr) {
        std::printf("Unable to open file");
    } else {
        written = std::fwrite(bytes, 1, size, file) == size;
        written = std::fclose(file) == 0 && written;
    }
    std::free(bytes);
    return written;
}

} // namespace zentro::pairing
