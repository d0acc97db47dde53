#include "records/record_list.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/log.h"
#include "core/state.h"
#include "link/command_channel.h"
#include "zentrolink.h"

namespace zentro::records {
namespace {

// Text i of a node, read byte-wise so no reference is ever bound into a host-visible layout.
char* ownedText(const void* node, size_t index) {
    char* text;
    std::memcpy(&text, static_cast<const char*>(node) + index * sizeof text, sizeof text);
    return text;
}

void freeOwnedTexts(const void* node, size_t count) {
    for (size_t i = 0; i < count; ++i) std::free(ownedText(node, i));
}

// A deep copy of a record whose texts sit behind the node in the same allocation: one block
// per record instead of one per text halves the heap a long list holds. Only whole lists are
// ever freed, so a text moved to another node of the list is freed with the list all the same.
// Null when out of memory.
template <class Node>
Node* copyIntoOneBlock(const Node& record, size_t texts) {
    constexpr size_t kMaxTexts = 32;
    size_t lengths[kMaxTexts];
    if (texts > kMaxTexts) return nullptr;
    size_t size = sizeof(Node);
    for (size_t i = 0; i < texts; ++i) {
        const char* text = ownedText(&record, i);
        lengths[i] = text != nullptr ? std::strlen(text) + 1 : 0;
        size += lengths[i];
    }
    auto* block = static_cast<char*>(std::malloc(size));
    if (block == nullptr) return nullptr;
    std::memcpy(block, &record, sizeof(Node));
    char* cursor = block + sizeof(Node);
    for (size_t i = 0; i < texts; ++i) {
        if (lengths[i] == 0) continue;
        std::memcpy(cursor, ownedText(&record, i), lengths[i]);
        std::memcpy(block + i * sizeof cursor, &cursor, sizeof cursor);
        cursor += lengths[i];
    }
    return reinterpret_cast<Node*>(block);
}

void setText(void* node, size_t index, char* text) {
    std::memcpy(static_cast<char*>(node) + index * sizeof text, &text, sizeof text);
}

// The first rule whose key equals `key`, or -1.
template <class Node>
int ruleFor(std::span<const link::FieldRule<Node>> rules, const char* key) {
    for (size_t i = 0; i < rules.size(); ++i) {
        // Keys are a few letters: compared in line rather than by a call per rule.
        const char* a = rules[i].key;
        const char* b = key;
        while (*a != '\0' && *a == *b) ++a, ++b;
        if (*a == *b) return static_cast<int>(i);
    }
    return -1;
}

// The 4-byte little-endian count a count command is answered with; the area starts at 0, so
// a short answer reads as what arrived.
int32_t askCount(const char* command, int32_t deviceIndex) {
    unsigned char reply[4] = {0, 0, 0, 0};
    const int n = link::sendCommand(command, reinterpret_cast<char*>(reply), 4, nullptr, 0, deviceIndex);
    if (n < 0) return -1;
    const auto value = static_cast<uint32_t>(reply[0]) | static_cast<uint32_t>(reply[1]) << 8 |
                       static_cast<uint32_t>(reply[2]) << 16 | static_cast<uint32_t>(reply[3]) << 24;
    const auto count = static_cast<int32_t>(value);
    return count > 0 ? count : -1;
}

// One page exchange into the shared reply buffer; the zero-terminated text, or null.
char* receivePage(const char* format, int32_t offset, int32_t deviceIndex, bool logRejected) {
    char* buffer = nullptr;
    const int32_t capacity = core::sharedReplyBuffer(&buffer);
    if (buffer == nullptr) return nullptr;
    char command[256];
    std::snprintf(command, sizeof command, format, static_cast<int>(offset));
    const int n = link::sendCommand(command, buffer, capacity - 1, nullptr, 0, deviceIndex);
    if (n < 2 || n > capacity - 1) {
        if (logRejected) core::log(0, "error: ret = %d\n", n);
        return nullptr;
    }
    buffer[n] = '\0';
    return buffer;
}

} // namespace

template <class Node>
void RecordList<Node>::clear() {
    for (Node* node = head_; node != nullptr;) {
        Node* next = node->next;
        std::free(node); // its texts live in the same block
        node = next;
    }
    head_ = tail_ = nullptr;
    count_ = 0;
}

template <class Node>
int32_t RecordList<Node>::queryCount(int32_t deviceIndex) {
    const int32_t count = askCount(kind_.countCommand, deviceIndex);
    announced_ = count > 0 ? count : 0;
    return count;
}

template <class Node>
int RecordList<Node>::fetchPage(int32_t deviceIndex, int32_t offset, int* added) {
    char* text = receivePage(kind_.pageCommand, offset, deviceIndex, kind_.logsRejectedPage);
    if (text == nullptr) return -1;
    const int closed = addPage(text);
    if (added != nullptr) *added = closed;
    return 0;
}

template <class Node>
bool RecordList<Node>::textsStayInReply() const {
    if (slotsLearned_ != kUnknown) return slotsLearned_ == 1;
    // Each rule stores an empty value into a blank node once; what changed tells its slot.
    bool plain = kind_.fields.size() <= kMaxRules && kind_.ownedTexts <= 32;
    for (size_t r = 0; plain && r < kind_.fields.size(); ++r) {
        Node probe{};
        kind_.fields[r].store(probe, "", 0);
        int slot = kNoText;
        for (size_t i = 0; i < kind_.ownedTexts; ++i) {
            if (ownedText(&probe, i) == nullptr) continue;
            plain = plain && slot == kNoText;
            slot = static_cast<int>(i);
        }
        freeOwnedTexts(&probe, kind_.ownedTexts);
        for (size_t i = 0; i < kind_.ownedTexts; ++i) setText(&probe, i, nullptr);
        const Node blank{};
        plain = plain && std::memcmp(static_cast<const void*>(&probe), &blank, sizeof(Node)) == 0;
        slots_[r] = static_cast<signed char>(slot);
    }
    slotsLearned_ = plain ? 1 : 0;
    return plain;
}

template <class Node>
void RecordList<Node>::take(const Node& record, int64_t limit, int& added, int& dropped) {
    if (limit >= 0 && count_ >= limit) {
        ++dropped;
    } else if (Node* node = copyIntoOneBlock(record, kind_.ownedTexts)) {
        link(node);
        ++added;
    }
}

template <class Node>
void RecordList<Node>::logDropped(int dropped) const {
    if (dropped > 0) {
        core::log(0, "%d %s dropped: the list holds %d, the phone announced %d\n", dropped, kind_.noun,
                  static_cast<int>(count_), static_cast<int>(announced_));
    }
}

template <class Node>
int RecordList<Node>::addPage(char* text) {
    if (text == nullptr) return 0;
    if (!textsStayInReply()) return addPageOfOwnedTexts(text);
    // The grammar of link::parseRecordList, with each text left in the reply (decoded in place,
    // it never outgrows its hex) instead of a heap copy per field.
    const int64_t limit = this->limit();
    int added = 0;
    int dropped = 0;
    Node current{};
    bool touched = false;
    for (char* position = text; *position != '\0';) {
        if (char* behind = link::skipRecordEnd(position)) {
            if (touched) {
                take(current, limit, added, dropped);
                current = Node{};
                touched = false;
            }
            position = behind;
            continue;
        }
        const link::Field field = link::splitField(position);
        if (field.next == nullptr) break; // unfinished field: it and its record are dropped
        touched = true;
        const int rule = ruleFor(kind_.fields, field.key);
        if (rule >= 0 && slots_[rule] != kNoText) {
            if (kind_.fields[rule].hexCoded) {
                link::decodeFieldValueAt(field.value, static_cast<size_t>(field.next - 1 - field.value),
                                         field.value);
            }
            setText(&current, static_cast<size_t>(slots_[rule]), field.value);
        }
        position = field.next;
    }
    logDropped(dropped);
    return added;
}

template <class Node>
int RecordList<Node>::addPageOfOwnedTexts(char* text) {
    const int64_t limit = this->limit();
    int added = 0;
    int dropped = 0;
    link::parseRecordList<Node>(
        text, kind_.fields,
        [&](Node& record) {
            take(record, limit, added, dropped);
            freeOwnedTexts(&record, kind_.ownedTexts);
        },
        [this](Node& open) { freeOwnedTexts(&open, kind_.ownedTexts); });
    logDropped(dropped);
    return added;
}

template <class Node>
void RecordList<Node>::link(Node* node) {
    if (head_ == nullptr) count_ = 0;
    if (kind_.insertion == Insertion::AtHead) {
        node->next = head_;
        head_ = node;
        if (tail_ == nullptr) tail_ = node;
    } else {
        node->next = nullptr;
        if (tail_ == nullptr) {
            head_ = node;
        } else {
            tail_->next = node;
        }
        tail_ = node;
    }
    ++count_;
}

template <class Node>
int32_t RecordList<Node>::handOut(Node** out) const {
    if (out == nullptr) return -1;
    Node* head = head_;
    std::memcpy(static_cast<void*>(out), &head, sizeof head);
    return count_;
}

template class RecordList<SmsRecord>;
template class RecordList<CallHistoryRecord>;
template class RecordList<CalenderRecord>;
template class RecordList<PersonRecord>;

} // namespace zentro::records
