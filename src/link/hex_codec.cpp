#include "link/hex_codec.h"

namespace zentro::link {

int encodeHex(const void* bytes, size_t count, char* out, size_t outSize, int32_t* capacity) {
    if (capacity == nullptr) return -1;
    if (bytes == nullptr || count == 0) {
        *capacity = 0;
        if (out != nullptr && outSize > 0) out[0] = '\0';
        return 0;
    }
    if (out == nullptr || outSize == 0 || *capacity <= 0) return -1;

    static const char kDigits[] = "0123456789ABCDEF";
    const auto* in = static_cast<const unsigned char*>(bytes);
    const size_t limit = static_cast<size_t>(*capacity);
    size_t written = 0;
    for (size_t i = 0; i < count && written < limit; ++i) {
        if (written + 3 > outSize) break; // the pair and the zero byte must fit
        out[written] = kDigits[in[i] >> 4];
        out[written + 1] = kDigits[in[i] & 0x0F];
        written += 2;
    }
    out[written] = '\0';
    *capacity = static_cast<int32_t>(written);
    return 0;
}

int hexDigitValue(char c) {
    // Read as a signed byte, as the companion's peers do: bytes of 128 and above are "not a
    // digit" and count 0 instead of landing in the letter range.
    const int code = static_cast<signed char>(c);
    if (code >= 'A') return code - 55;
    if (code >= '0' && code <= '9') return code - '0';
    return 0;
}

int decodeHex(const char* text, size_t count, void* out, int32_t* capacity) {
    if (capacity == nullptr) return 0;
    if (text == nullptr || out == nullptr || *capacity <= 0) {
        *capacity = 0;
        return 0;
    }
    auto* bytes = static_cast<unsigned char*>(out);
    const size_t limit = static_cast<size_t>(*capacity);
    size_t written = 0;
    for (size_t i = 0; i < count && written < limit; i += 2) {
        const char second = i + 1 < count ? text[i + 1] : '\0';
        bytes[written++] = static_cast<unsigned char>(16 * hexDigitValue(text[i]) + hexDigitValue(second));
    }
    *capacity = static_cast<int32_t>(written);
    return 0;
}

} // namespace zentro::link
