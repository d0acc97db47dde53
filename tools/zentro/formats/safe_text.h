// Text a phone sent, made safe for where the CLI puts it: a file name on this computer, a
// terminal, a JSON document. The phone is not trusted: any name, title or body may hold
// control characters, separators or bytes that are not UTF-8.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace zentro::cli {

// The longest file name made from a phone's name, in bytes (well under every file system's 255).
inline constexpr size_t kMaxSafeNameBytes = 120;

// A plain file name for a folder on this computer: valid UTF-8; no control characters; no
// '/', '\\' or other characters Windows refuses in names; no leading dot or blank, no trailing
// dot or blank; not a Windows device name (CON, NUL, COM1, ...); at most kMaxSafeNameBytes
// bytes, keeping a short extension. `fallback` (itself plain) when nothing usable is left.
std::string safeFileName(std::string_view phoneName, std::string_view fallback);

// The text for a terminal: control characters (C0, DEL, C1) and bytes that are not UTF-8 are
// shown as \xNN, so nothing a phone sends can move the cursor, retitle or clear the screen.
std::string terminalSafe(std::string_view text);

// Length of the well-formed UTF-8 sequence at text[at] (1 to 4: no overlong forms, no
// surrogates, at most U+10FFFF), or 0 when the bytes there are not one.
size_t utf8Length(std::string_view text, size_t at);

// A JSON document as the CLI writes it everywhere (files, standard output, the backup page):
// bytes that are not UTF-8 become U+FFFD instead of aborting, and DEL and the C1 controls are
// written as \u escapes so the document holds no terminal control bytes. indent < 0: one line.
std::string jsonText(const nlohmann::ordered_json& value, int indent = -1);

// The path of `name` in `folder` that names nothing yet: the name itself, else "stem (2).ext",
// "stem (3).ext", ... Existing entries of every kind (links too) count as taken.
std::string freePathIn(const std::string& folder, const std::string& name);

// `name` if it is not in `taken`, else "stem-<id>.ext", then "stem-<id>-2.ext" ...: the first
// free one; it is added to `taken`. Callers seed `taken` with every name they will keep as it is,
// so a renamed item can never land on another item's own name.
std::string uniqueName(const std::string& name, int32_t id, std::set<std::string>& taken);

// The names the phone gives an upload of `name` when that name is taken: "a(1).jpg" ... "a(9).jpg".
std::vector<std::string> numberedForms(const std::string& name);

// a + b for sizes and counts a phone reported: held at INT64_MAX instead of overflowing, and
// a negative b counts as 0.
int64_t addSize(int64_t a, int64_t b);

} // namespace zentro::cli
