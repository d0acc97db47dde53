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
    size_t size = sizeof(Node);
    for (size_t i = 0; i < texts; ++i) {
        if (const char* text = ownedText(&record, i)) size += std::strlen(text) + 1;
    }
    auto* block = static_cast<char*>(std::malloc(size));
    if (block == nullptr) return nullptr;
    std::memcpy(block, &record, sizeof(Node));
    char* cursor = block + sizeof(Node);
    for (size_t i = 0; i < texts; ++i) {
        const char* text = ownedText(&record, i);
        if (text == nullptr) continue;
        const size_t length = std::strlen(text) + 1;
        std::memcpy(cursor, text, length);
        std::memcpy(block + i * sizeof cursor, &cursor, sizeof cursor);
        cursor += length;
    }
    return reinterpret_cast<Node*>(block);
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
int RecordList<Node>::addPage(char* text) {
    if (text == nullptr) return 0;
    const int64_t limit = this->limit();
    int added = 0;
    int dropped = 0;
    link::parseRecordList<Node>(
        text, kind_.fields,
        [&](Node& record) {
            if (limit >= 0 && count_ >= limit) {
                ++dropped;
            } else if (Node* node = copyIntoOneBlock(record, kind_.ownedTexts)) {
                link(node);
                ++added;
            }
            freeOwnedTexts(&record, kind_.ownedTexts);
        },
        [this](Node& open) { freeOwnedTexts(&open, kind_.ownedTexts); });
    if (dropped > 0) {
        core::log(0, "%d %s dropped: the list holds %d, the phone announced %d\n", dropped, kind_.noun,
                  static_cast<int>(count_), static_cast<int>(announced_));
    }
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
