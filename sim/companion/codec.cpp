#include "companion/codec.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace zsim::companion {

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp + (mp < 10 ? 3 : -9);
    y += m <= 2;
}

std::optional<unsigned> digitsAt(std::string_view text, size_t pos, size_t count) {
    unsigned value = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return value;
}

// Cuts `s` to at most `n` bytes without splitting a UTF-8 sequence.
void cutUtf8(std::string& s, size_t n) {
    if (s.size() <= n) return;
    auto continuation = [&s](size_t i) { return (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80; };
    size_t cut = n;
    for (int steps = 0; cut > 0 && steps < 3 && continuation(cut); ++steps) --cut;
    if (continuation(cut)) cut = n; // not UTF-8 after all
    s.resize(cut);
}

} // namespace

void hexEncodeInto(std::string& out, std::string_view bytes) {
    const size_t start = out.size();
    out.resize(start + bytes.size() * 2);
    char* p = out.data() + start;
    for (unsigned char b : bytes) {
        *p++ = kHexDigits[b >> 4];
        *p++ = kHexDigits[b & 0x0F];
    }
}

std::string hexEncode(std::string_view bytes) {
    std::string out;
    hexEncodeInto(out, bytes);
    return out;
}

std::optional<std::string> hexDecode(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::string out(hex.size() / 2, '\0');
    for (size_t i = 0; i < out.size(); ++i) {
        const int hi = hexValue(hex[2 * i]);
        const int lo = hexValue(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out[i] = static_cast<char>(hi * 16 + lo);
    }
    return out;
}

std::string leInt32(int32_t value) {
    const auto u = static_cast<uint32_t>(value);
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((u >> (8 * i)) & 0xFF);
    return out;
}

std::string leInt64(int64_t value) {
    const auto u = static_cast<uint64_t>(value);
    std::string out(8, '\0');
    for (int i = 0; i < 8; ++i) out[i] = static_cast<char>((u >> (8 * i)) & 0xFF);
    return out;
}

std::optional<int64_t> parseDecimal(std::string_view text) {
    bool negative = false;
    if (!text.empty() && text[0] == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 19) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
    return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
        const size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

void RecordWriter::text(std::string_view key, std::string_view value) {
    out_.append(key);
    out_.push_back(':');
    hexEncodeInto(out_, value);
    out_.push_back(';');
}

void RecordWriter::number(std::string_view key, int64_t value) {
    char digits[24];
    const int n = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value));
    text(key, std::string_view(digits, static_cast<size_t>(n)));
}

void RecordWriter::raw(std::string_view key, std::string_view value) {
    out_.append(key);
    out_.push_back(':');
    out_.append(value);
    out_.push_back(';');
}

std::string fitRecord(std::vector<Field> fields, size_t limit) {
    auto render = [&fields] {
        std::string out;
        RecordWriter w(out);
        for (const Field& f : fields) {
            if (f.plain)
                w.raw(f.key, f.value);
            else
                w.text(f.key, f.value);
        }
        w.end();
        return out;
    };
    std::string out = render();
    while (out.size() > limit) {
        Field* longest = nullptr;
        for (Field& f : fields) {
            if (f.cuttable && !f.value.empty() && (!longest || f.value.size() > longest->value.size()))
                longest = &f;
        }
        if (!longest) return {};
        const size_t excessBytes = (out.size() - limit + 1) / 2; // two hex digits per byte
        const size_t keep = longest->value.size() > excessBytes ? longest->value.size() - excessBytes : 0;
        cutUtf8(longest->value, keep);
        out = render();
    }
    return out;
}

std::string formatDate(int64_t seconds) {
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    int64_t y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02lld:%02lld:%02lld", static_cast<long long>(y), m, d,
                  static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
                  static_cast<long long>(rest % 60));
    return text;
}

std::optional<int64_t> parseDate(std::string_view text) {
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':')
        return std::nullopt;
    const auto y = digitsAt(text, 0, 4), mo = digitsAt(text, 5, 2), d = digitsAt(text, 8, 2);
    const auto h = digitsAt(text, 11, 2), mi = digitsAt(text, 14, 2), s = digitsAt(text, 17, 2);
    if (!y || !mo || !d || !h || !mi || !s) return std::nullopt;
    if (*y < 1970 || *mo < 1 || *mo > 12 || *d < 1 || *d > 31 || *h > 23 || *mi > 59 || *s > 59)
        return std::nullopt;
    return daysFromCivil(*y, *mo, *d) * 86400 + *h * 3600 + *mi * 60 + *s;
}

std::string nowDateText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

} // namespace zsim::companion
