#include "link/reply_grammar.h"

#include <cerrno>
#include <limits>

namespace zentro::link {

Field splitField(char* text) {
    Field field;
    if (text == nullptr) return field;
    // Keys are a few bytes: the first ":" is looked for byte by byte. Behind it lies a value,
    // often long, which is searched by the library's word-wide scans for the ";" and for any
    // further ":" (then the text before the last two is dropped).
    char* previous = nullptr;
    char* last = nullptr;
    char* end = text;
    while (*end != ':' && *end != ';' && *end != '\0') ++end;
    if (*end == '\0') return field;
    if (*end == ':') {
        last = end;
        end = std::strchr(last + 1, ';');
        if (end == nullptr) return field;
        while (auto* colon =
                   static_cast<char*>(std::memchr(last + 1, ':', static_cast<size_t>(end - last - 1)))) {
            previous = last;
            last = colon;
        }
    }
    *end = '\0';
    field.next = end + 1;

    if (last == nullptr) {
        field.key = text;
        field.value = end; // the zero byte just written: an empty value
        return field;
    }
    *last = '\0';
    field.value = last + 1;
    field.key = previous != nullptr ? previous + 1 : text;
    return field;
}

char* skipRecordEnd(char* text) { return text != nullptr && text[0] == '.' ? text + 1 : nullptr; }

size_t decodeFieldValue(const char* value, char (&scratch)[kFieldValueSize]) {
    return decodeFieldValueAt(value, std::strlen(value), scratch);
}

size_t decodeFieldValueAt(const char* value, size_t length, char* out) {
    int32_t capacity = static_cast<int32_t>(kFieldValueSize - 1);
    decodeHex(value, length, out, &capacity);
    out[capacity] = '\0';
    return static_cast<size_t>(capacity);
}

int64_t textToInt64(const char* text) {
    if (text == nullptr) return 0;
    errno = 0;
    long long value = std::strtoll(text, nullptr, 10); // clamps on overflow
    return static_cast<int64_t>(value);
}

int32_t textToInt32(const char* text) {
    int64_t value = textToInt64(text);
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

uint64_t uncheckedDecimal(const char* text, size_t length) {
    uint64_t value = 0;
    for (size_t i = 0; i < length && text[i] != '\0'; ++i) {
        // Characters count as signed bytes, as the phone's numbers were always read.
        const int64_t digit = static_cast<signed char>(text[i]) - '0';
        value = value * 10u + static_cast<uint64_t>(digit);
    }
    return value;
}

} // namespace zentro::link
