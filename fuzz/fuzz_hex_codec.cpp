// The hex codec with hostile sizes and bytes: encode into an exactly sized heap buffer with a
// fuzzed capacity, decode back, and compare; decode arbitrary text into an exact buffer.
// Input: two bytes of output size, two of capacity, then the bytes.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "link/hex_codec.h"

using namespace zentro::link;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const size_t outSize = (data[0] | data[1] << 8) % 4100;
    const int32_t capacity = static_cast<int16_t>(data[2] | data[3] << 8);
    data += 4;
    size -= 4;

    // Encode: never past outSize, pairs only while fewer than `capacity` characters are out,
    // each a digit pair of the input, and the text ends in its zero byte.
    std::vector<char> out(outSize);
    int32_t written = capacity;
    const int rc =
        encodeHex(size > 0 ? data : nullptr, size, outSize > 0 ? out.data() : nullptr, outSize, &written);
    if (size > 0 && (outSize == 0 || capacity <= 0)) {
        FUZZ_CHECK(rc == -1);
    } else {
        FUZZ_CHECK(rc == 0 && written >= 0 && written % 2 == 0);
        const size_t pairs = static_cast<size_t>(written) / 2;
        FUZZ_CHECK(pairs <= size);
        if (outSize > 0) FUZZ_CHECK(static_cast<size_t>(written) < outSize && out[written] == '\0');
        if (size > 0) {
            FUZZ_CHECK(written < capacity + 2);
            // Stopped only by the input's end, the capacity or the room for a pair and the zero.
            FUZZ_CHECK(pairs == size || written >= capacity || static_cast<size_t>(written) + 3 > outSize);
        }
        for (size_t i = 0; i < static_cast<size_t>(written); ++i) {
            const char c = out[i];
            FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
        }
        // Round trip: the pairs decode to the bytes they came from.
        std::vector<unsigned char> back(pairs > 0 ? pairs : 1);
        int32_t room = static_cast<int32_t>(pairs);
        decodeHex(out.data(), static_cast<size_t>(written), back.data(), &room);
        FUZZ_CHECK(static_cast<size_t>(room) == pairs);
        FUZZ_CHECK(pairs == 0 || std::memcmp(back.data(), data, pairs) == 0);
    }

    // Decode hostile text: at most `capacity` bytes into a buffer of exactly that size, at most
    // one byte per two characters (an odd tail pairs with zero), nothing read past the count.
    const std::vector<char> text(data, data + size);
    const int32_t limit = capacity > 0 ? capacity : 0;
    std::vector<unsigned char> decoded(static_cast<size_t>(limit));
    int32_t got = capacity;
    FUZZ_CHECK(decodeHex(size > 0 ? text.data() : "", size, limit > 0 ? decoded.data() : nullptr, &got) == 0);
    FUZZ_CHECK(got >= 0 && got <= limit && static_cast<size_t>(got) <= (size + 1) / 2);
    FUZZ_CHECK(static_cast<size_t>(got) == std::min(static_cast<size_t>(limit), (size + 1) / 2));
    for (int32_t i = 0; i < got; ++i) {
        const size_t at = static_cast<size_t>(i) * 2;
        const int high = hexDigitValue(text[at]);
        const int low = at + 1 < size ? hexDigitValue(text[at + 1]) : 0;
        FUZZ_CHECK(decoded[static_cast<size_t>(i)] == static_cast<unsigned char>(16 * high + low));
    }

    // The command builders' form: the text up to its zero byte, cut to capacity / 2 bytes.
    std::vector<char> zeroEnded(data, data + size);
    zeroEnded.push_back('\0');
    char fixed[1024];
    const int32_t chars = encodeHexText(zeroEnded.data(), fixed, 1020);
    const size_t length = std::strlen(zeroEnded.data());
    FUZZ_CHECK(static_cast<size_t>(chars) == 2 * std::min<size_t>(length, 510));
    FUZZ_CHECK(fixed[chars] == '\0');
    return 0;
}
