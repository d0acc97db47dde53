// The hex text codec: every text value in a companion reply, and every text argument the library
// puts into a command, travels as two upper-case hexadecimal digits per byte, so values never
// contain the reply separators ":", ";" or ".". Pure functions, no state.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zentro::link {

// Encodes `count` bytes as "%02X" pairs into `out` (room for `outSize` bytes) and puts a zero
// byte behind the last pair. Pairs are written while fewer than *capacity characters have been
// written and the input lasts, so an odd capacity lets one pair go past it (capacity 5 writes 6
// characters); independently of that, nothing is ever written at or past out[outSize]: the last
// pair must fit together with the zero byte. *capacity receives the number of characters
// written. Returns 0, or -1 when there is input but no output buffer or *capacity is not above
// 0. A null or empty input stores 0 (and writes the zero byte when there is room).
int encodeHex(const void* bytes, size_t count, char* out, size_t outSize, int32_t* capacity);

// Command builders' form: the text up to its zero byte into a fixed buffer with the capacity
// its command format is sized for (1,020 characters in 1,024 bytes, 2,040 in 2,048), so at most
// capacity / 2 bytes of the text travel. Returns the number of characters written.
template <size_t N>
int32_t encodeHexText(const char* text, char (&out)[N], int32_t capacity) {
    static_assert(N >= 3, "room for one pair and the zero byte");
    size_t length = 0;
    if (text != nullptr) {
        while (text[length] != '\0') ++length;
    }
    out[0] = '\0';
    if (encodeHex(text, length, out, N, &capacity) != 0) return 0;
    return capacity;
}

// The value of one hex digit as the companion's texts are read: codes from 65 ("A") up count
// as code - 55 (so a lower-case "a" counts 42), "0".."9" as their value, anything else 0.
int hexDigitValue(char c);

// Decodes `count` characters, two per byte (value 16 * d(first) + d(second), kept to 8 bits),
// into `out`; writes while fewer than *capacity bytes have been written and pairs remain, adds
// no zero byte, and stores the number of bytes written in *capacity. An odd last character is
// paired with a zero (as with the text's terminating zero). Nothing is read at or past
// text[count]. `out` may be `text` itself: a value decodes in place. Returns 0.
int decodeHex(const char* text, size_t count, void* out, int32_t* capacity);

} // namespace zentro::link
