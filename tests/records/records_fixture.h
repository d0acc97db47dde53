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
#include "link/hex_codec.h"
#include "zentrolink.h"

namespace recordstest {

// One record of a reply: KEY:HEX; per pair, then ".".
inline std::string record(std::initializer_list<std::pair<std::string, std::string>> fields) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const auto& [key, value] : fields) {
        out += key + ":";
        for (unsigned char c : value) {
            out += digits[c >> 4];
            out += digits[c & 15];
        }
        out += ";";
    }
    return out + ".";
}

// Records with the given ids under `key`, one after another in one reply.
inline std::string idPage(const std::string& key, std::initializer_list<int> ids) {
    std::string out;
    for (int id : ids) out += record({{key, std::to_string(id)}});
    return out;
}

// The companion: the reply of each command is looked up when it arrives; commands it was not
// given get an empty reply. `onCommand` runs before the reply goes out (null: nothing).
class ScriptedCompanion {
public:
    ScriptedCompanion()
        : peer_([this](linktest::PeerConnection& c, int) { serve(c); }) {}

    void answer(const std::string& command, const std::string& body) {
        std::lock_guard<std::mutex> guard(mutex_);
        replies_[command] = body;
    }
    void answerCount(const std::string& command, int32_t count) {
        answer(command, linktest::lengthBytes(count)); // the same little-endian form
    }
    void onCommand(std::function<void(const std::string&)> hook) {
        std::lock_guard<std::mutex> guard(mutex_);
        hook_ = std::move(hook);
    }
    uint16_t port() const { return peer_.port(); }
    std::vector<std::string> commands() const { return peer_.commands(); }
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
    ScriptedCompanion companion_;
};

// A text field of every node from `head` on, "<null>" for null.
template <class Node, class Get>
std::vector<std::string> walk(const Node* head, Get get) {
    std::vector<std::string> out;
    for (const Node* node = head; node != nullptr; node = node->next) {
        const char* text = get(*node);
        out.push_back(text != nullptr ? text : "<null>");
    }
    return out;
}

inline std::vector<std::string> messageIds() {
    SmsRecord* head = nullptr;
    Zentro_GetSMS(&head);
    return walk(head, [](const SmsRecord& r) { return r.id; });
}
inline std::vector<std::string> callIds() {
    CallHistoryRecord* head = nullptr;
    Zentro_GetCallHistory(&head);
    return walk(head, [](const CallHistoryRecord& r) { return r.id; });
}
inline std::vector<std::string> eventIds() {
    CalenderRecord* head = nullptr;
    Zentro_GetCalender(&head);
    return walk(head, [](const CalenderRecord& r) { return r.id; });
}
inline std::vector<std::string> contactIds() {
    PersonRecord* head = nullptr;
    Zentro_GetPerson(&head);
    return walk(head, [](const PersonRecord& r) { return r.fields[ZENTRO_PERSON_ID]; });
}

using Ids = std::vector<std::string>;

// A contact record's keys in the order of its node's text fields; "" where a field has no key.
inline const std::vector<std::string>& contactKeys() {
    static const std::vector<std::string> keys = {"CONTACTID",
                                                  "NAME",
                                                  "",
                                                  "NICKNAME",
                                                  "PHONE_PHONE",
                                                  "PHONE_HOME",
                                                  "PHONE_WORK",
                                                  "WEBSITE",
                                                  "EMAIL_HOME",
                                                  "BIRTHDAY",
                                                  "",
                                                  "NOTE",
                                                  "ORG_NAME",
                                                  "ORG_TITLE",
                                                  "",
                                                  "",
                                                  "ADDRESS_HOME",
                                                  "ADDRESS_WORK",
                                                  "PHONE_HOMEFAX",
                                                  "PHONE_WORKFAX",
                                                  "EMAIL_WORK"};
    return keys;
}

} // namespace recordstest
