// The QR image a phone scans to join over WiFi: a 24-bit top-down bitmap, 8 x 8 pixels per
// module, no margin, dark modules blue 195, green 132, red 38, light ones white.
#pragma once

#include <cstddef>

namespace zentro::pairing {

constexpr int kPixelsPerModule = 8;
constexpr size_t kBitmapHeaderSize = 54; // file header 14 + information header 40

// Bytes of the whole file for a symbol `width` modules wide; 0 when the width is not usable.
size_t qrBitmapFileSize(int width);

// Writes the file's bytes into `out` (qrBitmapFileSize(width) bytes). `modules` holds width x
// width bytes row by row from the top; a module is dark when its lowest bit is set.
void fillQrBitmap(int width, const unsigned char* modules, unsigned char* out);

// Encodes `text` (smallest version that fits, level H, 8-bit, case-sensitive) and writes the
// image to `path`. Failures are printed to standard output only ("NULL returned", "Out of
// memory", "Unable to open file"); false then.
bool writeQrImage(const char* path, const char* text);

} // namespace zentro::pairing
