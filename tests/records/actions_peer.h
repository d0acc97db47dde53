// Shared by the action and contact-editing tests: a companion on 127.0.0.1 answering each
// command by its name (text before the first ":" or ";") with a reply the test sets; device
// index 0 reaches it without adb.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "../link/loopback_peer.h"

namespace actionstest {

using Commands = std::vector<std::string>;

inline std::string littleEndian(int64_t value, int width) {
    std::string bytes;
    for (int i = 0; i < width; ++i) bytes += static_cast<char>(static_cast<uint64_t>(value) >> (8 * i));
    return bytes;
}

inline std::string hexOf(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) out += {digits[b >> 4], digits[b & 0x0F]};
    return out;
}

// `size` bytes running through every non-zero byte value.
inline std::string varied(size_t size, unsigned seed = 0) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i + seed) % 255 + 1);
    return text;
}

class ActionsTest : public linktest::LinkTest {
protected:
    ActionsTest()
        : peer_([this](linktest::PeerConnection& c, int) {
            while (auto command = c.readCommand()) {
                std::lock_guard<std::mutex> guard(mutex_);
                c.sendReply(replies_[command->substr(0, command->find_first_of(":;"))]);
            }
        }) {}
    void SetUp() override {
        LinkTest::SetUp();
        usbIndexZeroReaches(peer_.port());
    }
    void answer(const std::string& name, const std::string& reply) {
        std::lock_guard<std::mutex> guard(mutex_);
        replies_[name] = reply;
    }
    // Commands received since the last call.
    Commands sent() {
        Commands all = peer_.commands();
        Commands fresh(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
        seen_ = all.size();
        return fresh;
    }
    size_t logCount(const std::string& line) const {
        const std::string log = ztest::readFile(zentro::core::logFilePath());
        size_t count = 0;
        for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++count;
        return count;
    }

    std::mutex mutex_;
    std::map<std::string, std::string> replies_; // unset names get an empty reply
    linktest::LoopbackPeer peer_;                // after what its thread uses
    size_t seen_ = 0;
};

} // namespace actionstest
