// Every record kind's field handling on hostile page and detail replies. The first byte picks
// the kind: the four lists (messages, calls, calendar, contacts) take the rest as a page; the
// three media kinds parse it into their packed detail record at an odd address.
//
// Lists: the page adds exactly the records it closed, each node's texts are terminated, the
// reserved texts stay null, and the ids arrive in reply order (messages and contacts reversed).
// Details: nothing is written past the record and every text field stays terminated.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "grammar_model.h"
#include "link/reply_grammar.h"
#include "media/media_kinds.h"
#include "records/calendar.h"
#include "records/call_log.h"
#include "records/contacts.h"
#include "records/messages.h"
#include "zentrolink.h"

using namespace zentro;

namespace {

// The id each closed record should carry: the decoded text of its last id field, cut at a
// zero byte; none when the record has no id field. A record end with no field before it closes
// no record.
std::vector<std::optional<std::string>> expectedIds(const std::string& text, const char* idKey) {
    std::vector<std::optional<std::string>> ids;
    std::optional<std::string> current;
    bool fieldSeen = false;
    for (const zfuzz::Event& e : zfuzz::modelEvents(text)) {
        if (e.recordEnd) {
            if (fieldSeen) ids.push_back(current);
            current.reset();
            fieldSeen = false;
            continue;
        }
        fieldSeen = true;
        if (e.key == idKey) {
            char scratch[link::kFieldValueSize];
            link::decodeFieldValue(e.value.c_str(), scratch);
            current = std::string(scratch);
        }
    }
    return ids;
}

template <class Node, size_t Texts>
void checkList(records::RecordList<Node>& list, const uint8_t* data, size_t size, const char* idKey,
               bool reversed, std::initializer_list<size_t> reserved) {
    list.clear();
    std::vector<char> text = zfuzz::terminated(data, size);
    const std::string copy(text.data());
    const int added = list.addPage(text.data());
    FUZZ_CHECK(added >= 0 && list.count() == added);

    auto ids = expectedIds(copy, idKey);
    FUZZ_CHECK(ids.size() == static_cast<size_t>(added));
    if (reversed) std::reverse(ids.begin(), ids.end());
    size_t index = 0;
    for (const Node* node = list.head(); node != nullptr; node = node->next, ++index) {
        FUZZ_CHECK(index < ids.size());
        char* texts[Texts];
        std::memcpy(texts, node, sizeof texts); // the node's leading pointers are its texts
        for (char* t : texts) {
            if (t != nullptr) (void)std::strlen(t);
        }
        for (size_t r : reserved) FUZZ_CHECK(texts[r] == nullptr);
        FUZZ_CHECK(ids[index].has_value() == (texts[0] != nullptr));
        if (texts[0] != nullptr) FUZZ_CHECK(*ids[index] == texts[0]);
    }
    FUZZ_CHECK(index == ids.size());
    list.clear();
    FUZZ_CHECK(list.head() == nullptr && list.count() == 0);
}

template <class Record>
void checkDetails(media::MediaKind kind, const uint8_t* data, size_t size) {
    std::vector<char> text = zfuzz::terminated(data, size);
    zfuzz::checkGuardedRecord<Record>([&](void* at) { media::kindRow(kind).parseDetails(text.data(), at); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t kind = data[0] % 7;
    ++data;
    --size;
    switch (kind) {
    case 0: checkList<SmsRecord, 9>(records::messageList(), data, size, "ID", true, {8}); break;
    case 1: checkList<CallHistoryRecord, 7>(records::callLogList(), data, size, "ID", false, {6}); break;
    case 2: checkList<CalenderRecord, 11>(records::calendarList(), data, size, "ID", false, {}); break;
    case 3:
        checkList<PersonRecord, 21>(records::contactList(), data, size, "CONTACTID", true, {2, 10, 14, 15});
        break;
    case 4: checkDetails<PhotoInfo>(media::MediaKind::Photo, data, size); break;
    case 5: checkDetails<MusicInfo>(media::MediaKind::Music, data, size); break;
    case 6: checkDetails<VideoInfo>(media::MediaKind::Video, data, size); break;
    }
    return 0;
}
