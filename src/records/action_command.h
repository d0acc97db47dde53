// Commands that carry host texts to the companion ("SendSMS:", "AddCalender:", "AddPerson3:",
// "UpdatePerson:" ...): a head, items of hex text with their separators, a closing ";". Every
// action builds its command here, so the formatting loop exists once.
//
// The text grows to whatever its items need. Each hex item is cut to a fixed number of bytes
// (510, or 1,020 for a message body), so a command is bounded by its shape and always goes out
// whole; nothing is cut at a fixed command size and nothing is written past an allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

namespace zentro::records {

// Bytes of a host text that one hex item carries at most (1,020 hex digits).
constexpr size_t kItemBytes = 510;
// A message body carries twice as much (2,040 hex digits).
constexpr size_t kBodyBytes = 1020;

// One item of a separated list: a host text (null or empty: the item is empty) and its cut.
struct HexItem {
    const char* text;
    size_t maxBytes = kItemBytes;
};

class ActionCommand {
public:
    explicit ActionCommand(const char* head)
        : text_(head) {}

    // Appends the text as it is (null appends nothing).
    ActionCommand& plain(const char* text);
    ActionCommand& plain(char c);

    // Appends the first `maxBytes` bytes of the text (up to its zero byte) as upper-case hex;
    // null or empty appends nothing.
    ActionCommand& hex(const char* text, size_t maxBytes = kItemBytes);
    ActionCommand& hex(const std::string& bytes, size_t maxBytes = kItemBytes);

    // Appends the items as hex, `separator` between each two; empty items leave the
    // separators side by side.
    ActionCommand& hexItems(std::span<const HexItem> items, char separator = '-');
    ActionCommand& hexItems(std::initializer_list<HexItem> items, char separator = '-') {
        return hexItems(std::span<const HexItem>(items.begin(), items.size()), separator);
    }

    const char* text() const { return text_.c_str(); }
    size_t length() const { return text_.size(); }

private:
    ActionCommand& hexBytes(const char* bytes, size_t count);

    std::string text_;
};

// Sends a command whose answer is a 4-byte little-endian signed integer. The reply area starts
// at 0 and is read whatever arrived, so a failed send or an empty reply gives 0.
int32_t sendForStatus(const char* command, int32_t deviceIndex);

// The same for an 8-byte little-endian signed answer (new contact ids).
int64_t sendForId(const char* command, int32_t deviceIndex);

} // namespace zentro::records
