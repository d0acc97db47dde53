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

namespace {

// hexDigitValue for every byte, so decoding is a table look-up per character.
struct DigitTable {
    signed char value[256];
    constexpr DigitTable()
        : value() {
        for (int byte = 0; byte < 256; ++byte) {
            const int code = byte < 128 ? byte : byte - 256; // the byte read as signed
            value[byte] = static_cast<signed char>(code >= 'A'                  ? code - 55
                                                   : code >= '0' && code <= '9' ? code - '0'
                                                                                : 0);
        }
    }
};
constexpr DigitTable kDigits;

} // namespace

int hexDigitValue(char c) {
    // Read as a signed byte, as the companion's peers do: bytes of 128 and above are "not a
    // digit" and count 0 instead of landing in the letter range.
    return kDigits.value[static_cast<unsigned char>(c)];
}

int decodeHex(const char* text, size_t count, void* out, int32_t* capacity) {
    if (capacity == nullptr) return 0;
    if (text == nullptr || out == nullptr || *capacity <= 0) {
        *capacity = 0;
        return 0;
    }
    auto* bytes = static_cast<unsigned char*>(out);
    const auto* in = reinterpret_cast<const unsigned char*>(text);
    const size_t limit = static_cast<size_t>(*capacity);
    const size_t pairs = count / 2 < limit ? count / 2 : limit;
    // Byte w is read from 2w and 2w + 1 before it is written, so `out` may be `text` itself.
    size_t written = 0;
    for (; written < pairs; ++written) {
        const int first = kDigits.value[in[2 * written]];
        const int second = kDigits.value[in[2 * written + 1]];
        bytes[written] = static_cast<unsigned char>(16 * first + second);
    }
    if (count % 2 != 0 && written < limit) {
        bytes[written] = static_cast<unsigned char>(16 * kDigits.value[in[count - 1]]);
        ++written;
    }
    *capacity = static_cast<int32_t>(written);
    return 0;
}

} // namespace zentro::link
