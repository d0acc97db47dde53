// Shared by the record-list tests: a companion on loopback that answers each command from a
// table the test fills, reply texts built from key/value pairs, and walks over the host lists.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "../link/loopback_peer.h"
#include "companion/codec.h"
#include "core/log.h"
#include "zentrolink.h"

namespace recordstest {

using zsim::companion::hexEncode;
using Commands = std::vector<std::string>;

// One record of a reply: KEY:HEX; per pair, then ".".
inline std::string record(std::initializer_list<std::pair<std::string, std::string>> fields) {
    std::string out;
    zsim::companion::RecordWriter writer(out);
    for (const auto& [key, value] : fields) writer.text(key, value);
    writer.end();
    return out;
}

// An integer reply as the companion sends it: `width` bytes, least significant first.
inline std::string littleEndian(int64_t value, int width = 4) {
    return width == 8 ? zsim::companion::leInt64(value)
                      : zsim::companion::leInt32(static_cast<int32_t>(value));
}

// `size` bytes running through every non-zero byte value.
inline std::string varied(size_t size, unsigned seed = 0) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i + seed) % 255 + 1);
    return text;
}

// Records with the given ids under `key`, one after another in one reply.
inline std::string idPage(const std::string& key, std::initializer_list<int> ids) {
    std::string out;
    for (int id : ids) out += record({{key, std::to_string(id)}});
    return out;
}

// The companion: the reply of each command is looked up when it arrives, by the whole command,
// else by its name (the text before the first ":" or ";"); others get an empty reply. `onCommand` runs before
// the reply goes out (null: nothing).
class ScriptedCompanion {
public:
    ScriptedCompanion()
        : peer_([this](linktest::PeerConnection& c, int) { serve(c); }) {}

    void answer(const std::string& command, const std::string& body) {
        std::lock_guard<std::mutex> guard(mutex_);
        replies_[command] = body;
    }
    void answerCount(const std::string& command, int32_t count) { answer(command, littleEndian(count)); }
    void onCommand(std::function<void(const std::string&)> hook) {
        std::lock_guard<std::mutex> guard(mutex_);
        hook_ = std::move(hook);
    }
    uint16_t port() const { return peer_.port(); }
    // The commands received since the last call.
    std::vector<std::string> takeCommands() {
        std::vector<std::string> all = peer_.commands();
        std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
        seen_ = all.size();
        return fresh;
    }

private:
    void serve(linktest::PeerConnection& connection) {
        while (auto command = connection.readCommand()) {
            std::string body;
            std::function<void(const std::string&)> hook;
            {
                std::lock_guard<std::mutex> guard(mutex_);
                auto it = replies_.find(*command);
                if (it == replies_.end())
                    it = replies_.find(command->substr(0, command->find_first_of(":;")));
                if (it != replies_.end()) body = it->second;
                hook = hook_;
            }
            if (hook) hook(*command);
            connection.sendReply(body);
        }
    }

    std::mutex mutex_;
    std::map<std::string, std::string> replies_;
    std::function<void(const std::string&)> hook_;
    size_t seen_ = 0;
    linktest::LoopbackPeer peer_;
};

// Device index 0 reaches the scripted companion.
class RecordsTest : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        usbIndexZeroReaches(companion_.port());
    }
    void answer(const std::string& command, const std::string& body) { companion_.answer(command, body); }
    Commands sent() { return companion_.takeCommands(); }
    size_t logCount(const std::string& line) const {
        const std::string log = ztest::readFile(zentro::core::logFilePath());
        size_t count = 0;
        for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++count;
        return count;
    }
    ScriptedCompanion companion_;
};

// A text field (a member, or what a function picks) of every node of the list `get` hands out,
// "<null>" for null.
template <class Node, class Get, class Field>
std::vector<std::string> walk(Get get, Field field) {
    Node* head = nullptr;
    get(&head);
    std::vector<std::string> out;
    for (const Node* node = head; node != nullptr; node = node->next) {
        const char* text = std::invoke(field, *node);
        out.push_back(text != nullptr ? text : "<null>");
    }
    return out;
}

using Ids = std::vector<std::string>;
inline Ids messageIds() { return walk<SmsRecord>(Zentro_GetSMS, &SmsRecord::id); }
inline Ids callIds() { return walk<CallHistoryRecord>(Zentro_GetCallHistory, &CallHistoryRecord::id); }
inline Ids eventIds() { return walk<CalenderRecord>(Zentro_GetCalender, &CalenderRecord::id); }
inline Ids contactIds() {
    return walk<PersonRecord>(Zentro_GetPerson, [](auto& r) { return r.fields[ZENTRO_PERSON_ID]; });
}

} // namespace recordstest
