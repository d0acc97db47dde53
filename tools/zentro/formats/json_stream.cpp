#include "formats/json_stream.h"

#include "formats/safe_text.h"

namespace zentro::cli {
namespace {

// Length of the well-formed UTF-8 sequence at `at` (1 to 4), 0 when it is not one: overlong
// forms, surrogates and code points past U+10FFFF are refused, as the tree writer refuses them.
size_t sequenceLength(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    }
    return length;
}

void appendUnicodeEscape(std::string& out, unsigned code) {
    static const char kDigits[] = "0123456789abcdef";
    out += "\\u00";
    out += kDigits[code >> 4];
    out += kDigits[code & 15];
}

} // namespace

void appendJsonString(std::string& out, std::string_view text) {
    const size_t start = out.size();
    out += '"';
    for (size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
            // A run of plain bytes goes in one copy.
            size_t end = at + 1;
            while (end < text.size()) {
                const auto next = static_cast<unsigned char>(text[end]);
                if (next < 0x20 || next >= 0x7F || next == '"' || next == '\\') break;
                ++end;
            }
            out.append(text.data() + at, end - at);
            at = end;
            continue;
        }
        switch (byte) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\f': out += "\\f"; break;
        case '\r': out += "\\r"; break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                appendUnicodeEscape(out, byte);
                break;
            }
            const size_t length = sequenceLength(text, at);
            if (length == 0) {
                // Not UTF-8: the tree writer decides how the bad bytes are replaced.
                out.resize(start);
                out += jsonText(nlohmann::ordered_json(std::string(text)));
                return;
            }
            const auto second = static_cast<unsigned char>(text[at + 1]);
            if (byte == 0xC2 && second < 0xA0) {
                appendUnicodeEscape(out, second); // a C1 control
            } else {
                out.append(text.data() + at, length);
            }
            at += length;
            continue;
        }
        ++at;
    }
    out += '"';
}

void JsonStream::newLine(size_t depth) {
    out_ += '\n';
    out_.append(depth * static_cast<size_t>(indent_), ' ');
}

void JsonStream::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (levels_.empty()) return;
    if (levels_.back().items++ > 0) out_ += ',';
    if (indent_ >= 0) newLine(levels_.size());
}

JsonStream& JsonStream::open(char bracket) {
    beforeValue();
    out_ += bracket;
    levels_.push_back({bracket == '[' ? ']' : '}'});
    return *this;
}

JsonStream& JsonStream::end() {
    const Level level = levels_.back();
    levels_.pop_back();
    if (indent_ >= 0 && level.items > 0) newLine(levels_.size());
    out_ += level.closer;
    return *this;
}

JsonStream& JsonStream::key(std::string_view name) {
    beforeValue();
    appendJsonString(out_, name);
    out_ += indent_ >= 0 ? ": " : ":";
    afterKey_ = true;
    return *this;
}

JsonStream& JsonStream::string(std::string_view text) {
    beforeValue();
    appendJsonString(out_, text);
    return *this;
}

JsonStream& JsonStream::null() {
    beforeValue();
    out_ += "null";
    return *this;
}

JsonStream& JsonStream::number(int64_t value) {
    beforeValue();
    out_ += std::to_string(value);
    return *this;
}

JsonStream& JsonStream::boolean(bool value) {
    beforeValue();
    out_ += value ? "true" : "false";
    return *this;
}

JsonStream& JsonStream::tree(const nlohmann::ordered_json& value) {
    beforeValue();
    out_ += jsonText(value);
    return *this;
}

} // namespace zentro::cli
