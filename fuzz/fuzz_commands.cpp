// The command builders with hostile field texts of any length, through the real channel to a
// loopback companion that keeps every command: each command has its head, its items in order,
// each item the upper-case hex of its text's first bytes (510, or 1,020 for a message body,
// cut at the text's zero byte), and one closing ";"; a command that would not fit its fixed
// buffer is refused with -1 and not sent at all. Media name commands are checked directly.
// Input: one byte picking the builder, then its texts separated by zero bytes (a missing text
// is null).
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/test_seams.h"
#include "fuzz_support.h"
#include "link/command_channel.h"
#include "media/command_text.h"
#include "records/contact_editing.h"
#include "records/record_actions.h"
#include "zentrolink.h"

using namespace zentro;

namespace {

constexpr int64_t kNewContactId = 5;

zfuzz::Companion& companion() {
    static zfuzz::Companion* peer = [] {
        core::resetStateForTests();
        auto* p = new zfuzz::Companion(false);
        zfuzz::pointChannelAt(p->port());
        p->setResponder([](const std::string& command) {
            if (command.rfind("AddPerson:", 0) == 0) {
                std::string id(8, '\0');
                id[0] = static_cast<char>(kNewContactId);
                return zfuzz::framed(id);
            }
            return zfuzz::framed(std::string("\1\0\0\0", 4));
        });
        return p;
    }();
    return *peer;
}

// The upper-case hex of the text's first bytes (up to its zero byte and `maxBytes`).
std::string hexOf(const char* text, size_t maxBytes = 510) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; text != nullptr && text[i] != '\0' && i < maxBytes; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0x0F];
    }
    return out;
}

// Items joined by "-", as the builders separate them.
std::string items(std::initializer_list<std::string> parts) {
    std::string out;
    for (const std::string& part : parts) {
        if (&part != parts.begin()) out += '-';
        out += part;
    }
    return out;
}

// Texts from the input: piece i, or null past the pieces.
struct Texts {
    std::vector<std::string> pieces;
    const char* operator[](size_t i) const { return i < pieces.size() ? pieces[i].c_str() : nullptr; }
};

std::vector<std::string> sent(zfuzz::Companion& peer) { return peer.takeCommands(); }

void expectOne(zfuzz::Companion& peer, const std::string& expected) {
    const std::vector<std::string> commands = sent(peer);
    FUZZ_CHECK(commands.size() == 1);
    FUZZ_CHECK(commands[0] == expected);
}

// The command went out as expected with the companion's answer, or it does not fit `buffer`
// (its closing zero included) and went nowhere.
void expectSentOrRefused(zfuzz::Companion& peer, const std::string& expected, size_t buffer, int64_t rc,
                         int64_t answer) {
    if (expected.size() < buffer) {
        FUZZ_CHECK(rc == answer);
        expectOne(peer, expected);
    } else {
        FUZZ_CHECK(rc == -1 && sent(peer).empty());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    zfuzz::Companion& peer = companion();
    const uint8_t op = data[0] % 8;
    const Texts t{zfuzz::splitAtZero(data + 1, size - 1)};
    peer.takeCommands();
    peer.expectSemicolons(1);

    switch (op) {
    case 0: {
        SmsRecord message{};
        message.address = const_cast<char*>(t[0]);
        message.body = const_cast<char*>(t[1]);
        message.date = const_cast<char*>(t[2]);
        message.read = const_cast<char*>(t[3]);
        message.type = const_cast<char*>(t[4]);
        const int64_t rc = records::sendSms(&message, 0);
        expectSentOrRefused(
            peer,
            "SendSMS:" +
                items({hexOf(t[0]), hexOf(t[1], 1020), hexOf(t[2]), hexOf(t[3]), hexOf("-1"), hexOf(t[4])}) +
                ";",
            4096, rc, 1);
        break;
    }
    case 1: {
        CallHistoryRecord call{};
        call.number = const_cast<char*>(t[0]);
        call.date = const_cast<char*>(t[1]);
        call.type = const_cast<char*>(t[2]);
        call.duration = const_cast<char*>(t[3]);
        const int64_t rc = records::addCall(&call, 0);
        expectSentOrRefused(
            peer, "AddCallHistory:" + items({hexOf(t[0]), hexOf(t[1]), hexOf(t[2]), hexOf(t[3])}) + ";", 2048,
            rc, 1);
        break;
    }
    case 2: {
        CalenderRecord event{};
        char** fields[] = {&event.title,    &event.start,           &event.end,
                           &event.location, &event.timeZone,        &event.description,
                           &event.hasAlarm, &event.reminderMinutes, &event.recurrenceRule};
        for (size_t i = 0; i < 9; ++i) *fields[i] = const_cast<char*>(t[i]);
        const int64_t rc = records::addEvent(&event, 0);
        const char* rule = t[8] == nullptr || t[8][0] == '\0' ? " " : t[8];
        expectSentOrRefused(peer,
                            "AddCalender:" +
                                items({hexOf(t[0]), hexOf(t[1]), hexOf(t[2]), hexOf(t[3]), hexOf(t[4]),
                                       hexOf(t[5]), hexOf(t[6]), hexOf(t[7]), hexOf(rule)}) +
                                ";",
                            2048, rc, 1);
        break;
    }
    case 3: {
        const int64_t rc = records::addPerson(t[0], t[1], 0);
        expectSentOrRefused(peer, "AddPerson:" + hexOf(t[0]) + ":" + hexOf(t[1]) + ";", 2048, rc,
                            kNewContactId);
        break;
    }
    case 4:
    case 5: {
        const char* fields[records::kPersonFields];
        for (int i = 0; i < records::kPersonFields; ++i) fields[i] = t[static_cast<size_t>(i)];
        const std::string name = std::string(fields[1] ? fields[1] : "") + (fields[2] ? fields[2] : "");
        if (op == 5) {
            const int64_t rc = records::addPersonWhole(fields, 0);
            std::string expected = "AddPerson3:" + hexOf(name.c_str());
            for (int i = 3; i < records::kPersonFields; ++i) expected += "-" + hexOf(fields[i]);
            expectSentOrRefused(peer, expected + "-" + hexOf(" ") + ";", 2048, rc, 1);
            break;
        }
        const std::string add = "AddPerson:" + hexOf(name.c_str()) + ":" + hexOf(fields[4]) + ";";
        const int32_t rc = records::addPersonThenUpdate(fields, 0, nullptr);
        if (add.size() >= 2048) {
            FUZZ_CHECK(rc == -1 && sent(peer).empty());
            break;
        }
        FUZZ_CHECK(rc == 0);
        std::vector<std::string> expected{add};
        for (int kind = 3; kind < records::kPersonFields; ++kind) {
            const char* value = fields[kind];
            const char* keyword = records::updateKeyword(kind);
            if (value == nullptr || value[0] == '\0' || std::strcmp(value, "\"") == 0 || keyword == nullptr)
                continue;
            const std::string update = "UpdatePerson:5:" + hexOf(value) + ":" + keyword + ";";
            if (update.size() < 1024) expected.push_back(update);
        }
        FUZZ_CHECK(sent(peer) == expected);
        break;
    }
    case 6: {
        const int32_t kind = t[2] != nullptr ? static_cast<int32_t>(std::strlen(t[2])) - 2 : 0;
        const char* id = t[0];
        const char* value = t[1];
        const char* keyword = records::updateKeyword(kind);
        const bool refused = id == nullptr || id[0] == '\0' || value == nullptr || value[0] == '\0' ||
                             std::strcmp(value, "\"") == 0 || keyword == nullptr;
        peer.expectSemicolons(1 + (id ? static_cast<int>(std::count(id, id + std::strlen(id), ';')) : 0));
        const int32_t rc = records::updatePerson(id, kind, value, 0);
        if (refused) {
            FUZZ_CHECK(rc == -1 && sent(peer).empty());
        } else {
            expectSentOrRefused(peer,
                                "UpdatePerson:" + std::string(id) + ":" + hexOf(value) + ":" + keyword + ";",
                                1024, rc, 1);
        }
        break;
    }
    case 7: {
        // Media names: the word and at most 510 bytes of the name, never a cut command.
        const char* word = t[1] != nullptr ? t[1] : "open_photofile";
        char out[1024];
        const bool fits = media::formatNameCommand(out, word, t[0]);
        const std::string expected = std::string(word) + ":" + hexOf(t[0]) + ";";
        FUZZ_CHECK(fits == (expected.size() < sizeof out));
        FUZZ_CHECK(fits ? expected == out : out[0] == '\0');
        break;
    }
    }
    return 0;
}
