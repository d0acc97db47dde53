// Byte-level helpers the companion's replies are made of: hex text, little-endian integers,
// reply records, and the date texts the phone's providers hand out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zsim::companion {

// Two upper-case hex digits per byte, no separators.
std::string hexEncode(std::string_view bytes);
void hexEncodeInto(std::string& out, std::string_view bytes);

// Strict inverse of hexEncode (either letter case accepted, as the app's parser did):
// nothing for an odd length or a character that is not a hex digit.
std::optional<std::string> hexDecode(std::string_view hex);

std::string leInt32(int32_t value);
std::string leInt64(int64_t value);

// Whole-text decimal conversion: an optional '-' and digits only, within range.
std::optional<int64_t> parseDecimal(std::string_view text);

std::vector<std::string_view> split(std::string_view text, char separator);

// Builds reply text: KEY:HEX; fields, "." after each record.
class RecordWriter {
public:
    explicit RecordWriter(std::string& out)
        : out_(out) {}
    void text(std::string_view key, std::string_view value);
    void number(std::string_view key, int64_t value);       // decimal digits, hex-coded like any text
    void raw(std::string_view key, std::string_view value); // value as is (device info numbers)
    void end() { out_.push_back('.'); }

private:
    std::string& out_;
};

// One record's fields before they are written, so a reply can be fitted into a size limit by
// cutting its longest texts.
struct Field {
    std::string key;
    std::string value; // raw bytes; hex-coded when written unless `plain`
    bool plain = false;
    bool cuttable = false; // may be shortened to fit
};
// "KEY:HEX;..." and a closing "."; cuttable values are shortened (longest first, on a UTF-8
// boundary where one is near) until the text fits `limit` bytes. Empty when it cannot fit.
std::string fitRecord(std::vector<Field> fields, size_t limit);

// Seconds since 1970 (UTC calendar) as "YYYY-MM-DD HH:MM:SS", and back. Years 1970-9999.
std::string formatDate(int64_t seconds);
std::optional<int64_t> parseDate(std::string_view text);
// The current wall-clock time as the phone shows it (local time).
std::string nowDateText();

} // namespace zsim::companion
