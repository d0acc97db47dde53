#include "formats/json_stream.h"

#include "formats/safe_text.h"

namespace zentro::cli {
namespace {

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
            const size_t length = utf8Length(text, at);
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
