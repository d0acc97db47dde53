#include "records/action_command.h"

#include "core/log.h"
#include "link/command_channel.h"
#include "link/hex_codec.h"

namespace zentro::records {

namespace {

// Length of a host text, looking no further than `limit` bytes: only that much is sent, and a
// long text need not be walked to its end.
size_t boundedLength(const char* text, size_t limit) {
    size_t length = 0;
    if (text == nullptr) return 0;
    while (length < limit && text[length] != '\0') ++length;
    return length;
}

// The reply area's bytes, least significant first, as the companion sends integers.
template <class Integer>
Integer littleEndian(const unsigned char (&bytes)[sizeof(Integer)]) {
    uint64_t value = 0;
    for (size_t i = sizeof(Integer); i-- > 0;) value = (value << 8) | bytes[i];
    return static_cast<Integer>(value);
}

template <class Integer>
Integer sendForInteger(const char* command, int32_t deviceIndex) {
    unsigned char reply[sizeof(Integer)] = {};
    link::sendCommand(command, reinterpret_cast<char*>(reply), static_cast<int32_t>(sizeof reply), nullptr, 0,
                      deviceIndex);
    return littleEndian<Integer>(reply);
}

} // namespace

bool ActionCommand::fitsBuffer() const {
    if (text_.size() < bufferSize_) return true;
    const size_t name = text_.find(':');
    core::log(0, "%.*s refused: a command of %zu bytes does not fit its %zu-byte buffer\n",
              static_cast<int>(name == std::string::npos ? 0 : name), text_.c_str(), text_.size(),
              bufferSize_);
    return false;
}

ActionCommand& ActionCommand::plain(const char* text) {
    if (text != nullptr) text_ += text;
    return *this;
}

ActionCommand& ActionCommand::plain(char c) {
    text_ += c;
    return *this;
}

ActionCommand& ActionCommand::hex(const char* text, size_t maxBytes) {
    return hexBytes(text, boundedLength(text, maxBytes));
}

ActionCommand& ActionCommand::hex(const std::string& bytes, size_t maxBytes) {
    return hexBytes(bytes.c_str(), boundedLength(bytes.c_str(), maxBytes));
}

ActionCommand& ActionCommand::hexItems(std::span<const HexItem> items, char separator) {
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) plain(separator);
        hex(items[i].text, items[i].maxBytes);
    }
    return *this;
}

ActionCommand& ActionCommand::hexBytes(const char* bytes, size_t count) {
    if (count == 0) return *this;
    const size_t start = text_.size();
    const size_t digits = 2 * count;
    text_.resize(start + digits + 1); // the codec ends its output with a zero byte
    int32_t written = static_cast<int32_t>(digits);
    if (link::encodeHex(bytes, count, &text_[start], digits + 1, &written) != 0) written = 0;
    text_.resize(start + static_cast<size_t>(written));
    return *this;
}

int32_t sendForStatus(const char* command, int32_t deviceIndex) {
    return sendForInteger<int32_t>(command, deviceIndex);
}

int32_t sendForStatus(const ActionCommand& command, int32_t deviceIndex) {
    if (!command.fitsBuffer()) return -1;
    return sendForInteger<int32_t>(command.text(), deviceIndex);
}

int64_t sendForId(const ActionCommand& command, int32_t deviceIndex) {
    if (!command.fitsBuffer()) return -1;
    return sendForInteger<int64_t>(command.text(), deviceIndex);
}

} // namespace zentro::records
