// A scripted companion for the media and application tests: answers each command through the
// test's function (which also sees a write's payload) and keeps every command it read.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "../link/loopback_peer.h"
#include "companion/codec.h"
#include "core/state.h"

namespace mediatest {

// Reply body for a command (";" included) and its payload; nullopt closes the connection.
using Answer =
    std::function<std::optional<std::string>(const std::string& command, const std::string& payload)>;

inline linktest::LoopbackPeer::Handler serving(Answer answer) {
    return [answer](linktest::PeerConnection& c, int) {
        while (auto command = c.readCommand()) {
            std::string payload;
            if (command->rfind("write_", 0) == 0) {
                const size_t colon = command->find(':');
                payload = c.readBytes(std::stoul(command->substr(colon + 1)));
            }
            const std::optional<std::string> reply = answer(*command, payload);
            if (!reply) return;
            c.sendReply(*reply);
        }
    };
}

// Makes a device row reach `port` on 127.0.0.1 directly, as a phone that joined over WiFi.
inline void rowReaches(int deviceIndex, uint16_t port) {
    zentro::core::DeviceEntry* row = zentro::core::deviceRow(deviceIndex);
    row->connectionKind = zentro::core::kConnectionWifi;
    zentro::core::copyText(row->address, sizeof row->address, "127.0.0.1");
    row->port = port;
}

inline std::string littleEndian(int32_t value) { return zsim::companion::leInt32(value); }

// The bytes of a test file: a pattern that shows a chunk in the wrong place.
inline std::string patternBytes(size_t size, int salt = 0) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + (i >> 8) + salt) & 0xff);
    return bytes;
}

// "word:<id>:<offset>:<count>;" read back into its three numbers.
struct ReadCommand {
    long long id = -1, offset = -1, count = -1;
};
inline std::optional<ReadCommand> parseRead(const std::string& command, const std::string& word) {
    if (command.rfind(word + ":", 0) != 0) return std::nullopt;
    ReadCommand r;
    if (std::sscanf(command.c_str() + word.size() + 1, "%lld:%lld:%lld;", &r.id, &r.offset, &r.count) != 3) {
        return std::nullopt;
    }
    return r;
}

// Serves reads of `file` as the companion does: the bytes asked for, what is left at the end,
// a 4-byte 0 past it.
inline std::string serveRead(const ReadCommand& r, const std::string& file) {
    if (r.offset >= static_cast<long long>(file.size())) return littleEndian(0);
    return file.substr(static_cast<size_t>(r.offset), static_cast<size_t>(r.count));
}

} // namespace mediatest
