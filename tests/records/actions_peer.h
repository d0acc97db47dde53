// Shared by the action and contact-editing tests: a companion on 127.0.0.1 that answers each
// command by its name (the text before the first ":" or ";") with a reply the test sets, and
// keeps every command it read. Device index 0 reaches it without adb.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "../link/loopback_peer.h"

namespace actionstest {

// An integer as the companion sends it: little-endian, `width` bytes.
inline std::string littleEndian(int64_t value, int width) {
    std::string bytes;
    for (int i = 0; i < width; ++i) bytes += static_cast<char>(static_cast<uint64_t>(value) >> (8 * i));
    return bytes;
}
inline std::string status(int32_t value) { return littleEndian(value, 4); }
inline std::string contactId(int64_t value) { return littleEndian(value, 8); }

// Upper-case hex of the bytes, two digits each: what the library must put on the wire.
inline std::string hexOf(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

// `size` bytes running through every non-zero byte value, so the codec meets them all.
inline std::string varied(size_t size, unsigned seed = 0) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i + seed) % 255 + 1);
    return text;
}

class ScriptedCompanion {
public:
    ScriptedCompanion()
        : peer_([this](linktest::PeerConnection& c, int) {
              while (auto command = c.readCommand()) c.sendReply(replyFor(*command));
          }) {}

    // The reply body for every later command of that name (unset: an empty reply).
    void answer(const std::string& name, const std::string& reply) {
        std::lock_guard<std::mutex> guard(mutex_);
        replies_[name] = reply;
    }
    std::vector<std::string> commands() const { return peer_.commands(); }
    uint16_t port() const { return peer_.port(); }

private:
    std::string replyFor(const std::string& command) {
        const std::string name = command.substr(0, command.find_first_of(":;"));
        std::lock_guard<std::mutex> guard(mutex_);
        const auto found = replies_.find(name);
        return found == replies_.end() ? std::string() : found->second;
    }

    std::mutex mutex_;
    std::map<std::string, std::string> replies_;
    linktest::LoopbackPeer peer_; // last: its thread uses the members above
};

class ActionsTest : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        usbIndexZeroReaches(companion_.port());
    }
    // Commands sent since the last call.
    std::vector<std::string> sent() {
        std::vector<std::string> all = companion_.commands();
        std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
        seen_ = all.size();
        return fresh;
    }
    size_t logCount(const std::string& text) const {
        const std::string log = ztest::readFile(zentro::core::logFilePath());
        size_t count = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
        return count;
    }

    ScriptedCompanion companion_;
    size_t seen_ = 0;
};

using Commands = std::vector<std::string>;

} // namespace actionstest
