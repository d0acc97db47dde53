// Framing of the companion's TCP exchanges, apart from the sockets: commands arrive as text
// ending in ';' with no terminator and no length, write chunks carry their byte count in the
// command and the raw bytes right behind it; every reply is a 4-byte little-endian length and
// the bytes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "companion/commands.h"
#include "device.h"

namespace zsim::companion {

// No command the library builds comes near this; a peer that sends this much without a ';'
// is not speaking the protocol.
inline constexpr size_t kMaxCommandText = 256 * 1024;

class RequestReader {
public:
    enum class Error { None, CommandTooLong, PayloadTooLarge };

    void feed(const char* data, size_t size);
    // The next complete request (command and its payload), or nothing until more bytes came.
    std::optional<Request> next();
    Error error() const { return error_; }
    // Bytes received but not yet handed out.
    size_t buffered() const { return buffer_.size() - start_; }

private:
    std::string buffer_;
    size_t start_ = 0;               // first unread byte
    size_t scanned_ = 0;             // bytes from start_ already searched for ';'
    std::optional<Request> waiting_; // command read, payload still arriving
    size_t payloadSize_ = 0;
    Error error_ = Error::None;
};

std::string frameReply(const std::string& body);

// What goes on the wire for one reply once a fault is applied.
struct ReplyPlan {
    int delayMs = 0;                 // before the first write
    std::vector<std::string> writes; // separate writes, in order
    int pauseMs = 0;                 // between consecutive writes
    enum class After { Serve, Close, Idle } after = After::Serve;
};
ReplyPlan planReply(const std::string& body, const CompanionFault& fault);

// The pause inside a length split in two.
inline constexpr int kSplitPauseMs = 100;

} // namespace zsim::companion
