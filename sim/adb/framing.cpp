#include "adb/framing.h"

namespace zsim::adb {

std::optional<size_t> parseHexLength(std::string_view digits) {
    if (digits.size() != 4) return std::nullopt;
    size_t value = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * 16 + static_cast<size_t>(d);
    }
    return value;
}

std::string hex4(size_t length) {
    static const char digits[] = "0123456789abcdef";
    if (length > 0xffff) length = 0xffff;
    std::string out(4, '0');
    for (int i = 3; i >= 0; --i) {
        out[static_cast<size_t>(i)] = digits[length & 0xf];
        length >>= 4;
    }
    return out;
}

std::string okayWith(std::string_view payload) {
    if (payload.size() > 0xffff) payload = payload.substr(0, 0xffff);
    std::string out = "OKAY" + hex4(payload.size());
    out.append(payload);
    return out;
}

std::string fail(std::string_view message) {
    if (message.size() > 0xffff) message = message.substr(0, 0xffff);
    std::string out = "FAIL" + hex4(message.size());
    out.append(message);
    return out;
}

void putLe32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

uint32_t getLe32(const unsigned char* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

std::string syncHeader(std::string_view id, uint32_t value) {
    std::string out(id.substr(0, 4));
    out.resize(4, ' ');
    putLe32(out, value);
    return out;
}

} // namespace zsim::adb
