#include "formats/safe_text.h"

#include <sys/stat.h>

#include <cctype>
#include <limits>

namespace zentro::cli {
namespace {

// C0 controls, DEL, and C1 controls (U+0080..U+009F, two bytes in UTF-8).
bool isControl(std::string_view text, size_t at, size_t length) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (length == 1) return lead < 0x20 || lead == 0x7F;
    return length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0;
}

void appendHex(std::string& out, unsigned char byte) {
    static const char kDigits[] = "0123456789ABCDEF";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 15];
}

bool isDeviceName(std::string_view name) {
    std::string stem(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '0' && stem[3] <= '9';
}

// The longest prefix of `text` of at most `limit` bytes that does not cut a UTF-8 sequence
// (the text is well-formed here).
std::string_view cutAt(std::string_view text, size_t limit) {
    if (text.size() <= limit) return text;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace

size_t utf8Length(std::string_view text, size_t at) {
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

std::string safeFileName(std::string_view phoneName, std::string_view fallback) {
    std::string plain;
    for (size_t at = 0; at < phoneName.size();) {
        const size_t length = utf8Length(phoneName, at);
        if (length == 0 || isControl(phoneName, at, length)) {
            plain += '_';
            at += length == 0 ? 1 : length;
            continue;
        }
        const char c = phoneName[at];
        plain += length == 1 && std::string_view("/\\<>:\"|?*").find(c) != std::string_view::npos
                     ? std::string_view("_")
                     : phoneName.substr(at, length);
        at += length;
    }
    // Hidden files and names Windows trims or refuses.
    const size_t first = plain.find_first_not_of(". ");
    plain.erase(0, first == std::string::npos ? plain.size() : first);
    while (!plain.empty() && (plain.back() == '.' || plain.back() == ' ')) plain.pop_back();
    if (plain.empty()) return std::string(fallback);
    if (isDeviceName(plain)) plain.insert(0, "_");
    if (plain.size() > kMaxSafeNameBytes) {
        // Keep a short extension: the file's type is in it.
        const size_t dot = plain.rfind('.');
        const std::string_view extension = dot != std::string::npos && plain.size() - dot <= 16
                                               ? std::string_view(plain).substr(dot)
                                               : std::string_view();
        std::string cut(cutAt(std::string_view(plain).substr(0, plain.size() - extension.size()),
                              kMaxSafeNameBytes - extension.size()));
        plain = cut + std::string(extension);
    }
    return plain;
}

std::string terminalSafe(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const size_t length = utf8Length(text, at);
        if (length == 0) {
            appendHex(out, static_cast<unsigned char>(text[at++]));
        } else if (isControl(text, at, length)) {
            for (size_t i = 0; i < length; ++i) appendHex(out, static_cast<unsigned char>(text[at + i]));
            at += length;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    return out;
}

std::string jsonText(const nlohmann::ordered_json& value, int indent) {
    const std::string text = value.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    // The dump is valid UTF-8 and its structure is ASCII, so these bytes stand only inside strings.
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const bool c1 =
            byte == 0xC2 && at + 1 < text.size() && static_cast<unsigned char>(text[at + 1]) < 0xA0;
        if (byte != 0x7F && !c1) {
            out += text[at];
            continue;
        }
        const unsigned code = c1 ? static_cast<unsigned char>(text[++at]) : 0x7F;
        static const char kDigits[] = "0123456789abcdef";
        out += "\\u00";
        out += kDigits[code >> 4];
        out += kDigits[code & 15];
    }
    return out;
}

std::string freePathIn(const std::string& folder, const std::string& name) {
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    if (!exists(prefix + name)) return prefix + name;
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string extension = name.substr(stem.size());
    for (int n = 2;; ++n) {
        const std::string candidate = prefix + stem + " (" + std::to_string(n) + ")" + extension;
        if (!exists(candidate)) return candidate;
    }
}

int64_t addSize(int64_t a, int64_t b) {
    if (b <= 0) return a;
    return a > std::numeric_limits<int64_t>::max() - b ? std::numeric_limits<int64_t>::max() : a + b;
}

namespace {

std::pair<std::string, std::string> splitExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {name, ""};
    return {name.substr(0, dot), name.substr(dot)};
}

} // namespace

std::string uniqueName(const std::string& name, int32_t id, std::set<std::string>& taken) {
    if (taken.insert(name).second) return name;
    const auto [stem, extension] = splitExtension(name);
    const std::string base = stem + "-" + std::to_string(id);
    for (int n = 1;; ++n) {
        std::string candidate = base + (n == 1 ? "" : "-" + std::to_string(n)) + extension;
        if (taken.insert(candidate).second) return candidate;
    }
}

std::vector<std::string> numberedForms(const std::string& name) {
    const auto [stem, extension] = splitExtension(name);
    std::vector<std::string> forms;
    for (int n = 1; n <= 9; ++n) forms.push_back(stem + "(" + std::to_string(n) + ")" + extension);
    return forms;
}

} // namespace zentro::cli
