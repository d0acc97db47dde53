// Commands that carry host texts to the companion ("SendSMS:", "AddCalender:", "AddPerson3:",
// "UpdatePerson:" ...): a head, items of hex text with their separators, a closing ";". Every
// action builds its command here, so the formatting loop exists once.
//
// The text grows to whatever its items need; each hex item is cut to a fixed number of bytes
// (510, or 1,020 for a message body). The companion reads each kind of command into a buffer of
// fixed size (`bufferSize`, its closing zero included), and a command longer than that would be
// read as two: the rest taken for a next command. Such a command is refused whole, never cut
// and never sent.
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

// The companion's command buffers, in bytes with the closing zero.
constexpr size_t kMessageCommandBuffer = 4096; // "SendSMS:"
constexpr size_t kAddCommandBuffer = 2048; // "AddCallHistory:", "AddCalender:", "AddPerson:", "AddPerson3:"
constexpr size_t kUpdateCommandBuffer = 1024; // "UpdatePerson:"

// One item of a separated list: a host text (null or empty: the item is empty) and its cut.
struct HexItem {
    const char* text;
    size_t maxBytes = kItemBytes;
};

class ActionCommand {
public:
    // `head` is the command's name with its ":" ("SendSMS:").
    ActionCommand(const char* head, size_t bufferSize)
        : text_(head)
        , bufferSize_(bufferSize) {}

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
    size_t bufferSize() const { return bufferSize_; }
    // False, with a log line naming the command, when the text and its closing zero do not fit
    // the companion's buffer.
    bool fitsBuffer() const;

private:
    ActionCommand& hexBytes(const char* bytes, size_t count);

    std::string text_;
    size_t bufferSize_;
};

// Sends a command whose answer is a 4-byte little-endian signed integer. The reply area starts
// at 0 and is read whatever arrived, so a failed send or an empty reply gives 0.
int32_t sendForStatus(const char* command, int32_t deviceIndex);
// The same for a built command; -1, nothing sent, when it does not fit its buffer.
int32_t sendForStatus(const ActionCommand& command, int32_t deviceIndex);

// An 8-byte little-endian signed answer (new contact ids); -1, nothing sent, when the command
// does not fit its buffer.
int64_t sendForId(const ActionCommand& command, int32_t deviceIndex);

} // namespace zentro::records
