#include "records/grouping.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "records/date_key.h"
#include "records/date_sort.h"
#ifdef ZENTRO_TESTING
#include "records/test_seams.h"
#endif

namespace zentro::records {

namespace {

void* (*g_allocate)(size_t) = nullptr; // null: malloc; tests make single blocks fail

// Groups and member links come from blocks of growing size, one allocation per block rather
// than per record, and go with their grouping all at once.
template <class T>
class Pool {
public:
    // A fresh element, or null when a new block was needed and could not be had.
    T* take() {
        if (block_ == nullptr || block_->used == block_->capacity) {
            const size_t capacity =
                block_ == nullptr ? kFirstBlock : std::min(block_->capacity * 2, kLargestBlock);
            const size_t bytes = sizeof(Block) + capacity * sizeof(T);
            void* memory = g_allocate != nullptr ? g_allocate(bytes) : std::malloc(bytes);
            if (memory == nullptr) return nullptr;
            block_ = new (memory) Block{block_, capacity, 0};
        }
        return reinterpret_cast<T*>(block_ + 1) + block_->used++;
    }
    void release() {
        while (block_ != nullptr) {
            Block* next = block_->next;
            std::free(block_);
            block_ = next;
        }
    }

private:
    // Eight-byte aligned, as malloc gives on every target, so the elements behind it are too.
    struct alignas(8) Block {
        Block* next;
        size_t capacity;
        size_t used;
    };
    static_assert(sizeof(Block) % alignof(T) == 0);
    static constexpr size_t kFirstBlock = 64;
    static constexpr size_t kLargestBlock = 16384;
    Block* block_ = nullptr;
};

struct MessageGrouping {
    SmsTempGroup* head = nullptr;
    Pool<SmsTempGroup> groups;
    Pool<TempGroupMember> links;
} g_messages;

struct CallGrouping {
    CallLogTempGroup* head = nullptr;
    Pool<CallLogTempGroup> groups;
    Pool<TempGroupMember> links;
} g_calls;

void freeMessageGroups() {
    g_messages.head = nullptr;
    g_messages.groups.release();
    g_messages.links.release();
}

void freeCallGroups() {
    g_calls.head = nullptr;
    g_calls.groups.release();
    g_calls.links.release();
}

// Numbers for texts, equal texts (byte for byte) equal numbers; null is -1.
class TextIds {
public:
    explicit TextIds(size_t expected) { ids_.reserve(expected); }
    int32_t idOf(const char* text) {
        if (text == nullptr) return -1;
        auto [entry, added] = ids_.try_emplace(std::string_view(text), static_cast<int32_t>(ids_.size()));
        return entry->second;
    }
    size_t size() const { return ids_.size(); }

private:
    std::unordered_map<std::string_view, int32_t> ids_;
};

// For each text, the groups whose newest member carries it, as a max-heap of creation numbers
// (the newest group stands first in the list). A group whose newest member changed to another
// text stays behind in the old heap and is dropped when it comes to the top.
class GroupsByText {
public:
    explicit GroupsByText(size_t texts)
        : heaps_(texts) {}
    void add(int32_t text, uint32_t group) {
        if (text < 0) return;
        std::vector<uint32_t>& heap = heaps_[static_cast<size_t>(text)];
        heap.push_back(group);
        std::push_heap(heap.begin(), heap.end());
    }
    // The newest group whose newest member's text is `text` (per `current`), or -1.
    int64_t newest(int32_t text, const std::vector<int32_t>& current) {
        if (text < 0) return -1;
        std::vector<uint32_t>& heap = heaps_[static_cast<size_t>(text)];
        while (!heap.empty() && current[heap.front()] != text) {
            std::pop_heap(heap.begin(), heap.end());
            heap.pop_back();
        }
        return heap.empty() ? -1 : static_cast<int64_t>(heap.front());
    }

private:
    std::vector<std::vector<uint32_t>> heaps_;
};

int64_t groupDate(const char* date, DateKeyCalculator& calculator) {
    return date == nullptr || date[0] == '\0' ? 0 : calculator.key(date);
}

void buildMessageGroups(SmsRecord* head) {
    std::vector<SmsRecord*> records;
    for (SmsRecord* record = head; record != nullptr; record = record->next) records.push_back(record);
    const size_t count = records.size();

    TextIds threadIds(count);
    TextIds addressIds(count);
    std::vector<int32_t> threadOf(count);
    std::vector<int32_t> addressOf(count);
    for (size_t i = 0; i < count; ++i) {
        threadOf[i] = threadIds.idOf(records[i]->threadId);
        addressOf[i] = addressIds.idOf(records[i]->address);
    }
    GroupsByText byThread(threadIds.size());
    GroupsByText byAddress(addressIds.size());

    // Per group in creation order: the group, and the texts of its newest member.
    std::vector<SmsTempGroup*> created;
    std::vector<int32_t> newestThread;
    std::vector<int32_t> newestAddress;
    created.reserve(count);
    newestThread.reserve(count);
    newestAddress.reserve(count);

    DateKeyCalculator calculator;
    for (size_t i = 0; i < count; ++i) {
        SmsRecord* record = records[i];
        const int32_t thread = threadOf[i];
        const int32_t address = addressOf[i];
        const int64_t date = groupDate(record->date, calculator);
        const int64_t joined =
            std::max(byThread.newest(thread, newestThread), byAddress.newest(address, newestAddress));
        if (joined >= 0) {
            auto* link = g_messages.links.take();
            if (link == nullptr) continue;
            const auto g = static_cast<size_t>(joined);
            SmsTempGroup* group = created[g];
            link->record = record;
            link->next = group->first;
            group->first = link;
            group->latestDate = std::max(group->latestDate, date);
            if (newestThread[g] != thread) {
                newestThread[g] = thread;
                byThread.add(thread, static_cast<uint32_t>(g));
            }
            if (newestAddress[g] != address) {
                newestAddress[g] = address;
                byAddress.add(address, static_cast<uint32_t>(g));
            }
            continue;
        }
        auto* group = g_messages.groups.take();
        auto* link = group != nullptr ? g_messages.links.take() : nullptr;
        if (link == nullptr) continue; // a group taken without a link stays unused in its block
        link->record = record;
        link->next = nullptr;
        group->first = link;
        group->last = link;
        group->latestDate = date;
        group->next = g_messages.head;
        g_messages.head = group;
        const auto g = static_cast<uint32_t>(created.size());
        created.push_back(group);
        newestThread.push_back(thread);
        newestAddress.push_back(address);
        byThread.add(thread, g);
        byAddress.add(address, g);
    }

    // Newest conversation first, in the exchange pass's order; chains and dates move between
    // the group nodes, the links stay.
    const size_t groups = created.size();
    if (groups < 2) return;
    std::vector<int64_t> dates(groups);
    for (size_t i = 0; i < groups; ++i) dates[i] = created[groups - 1 - i]->latestDate;
    const std::vector<uint32_t> order = exchangeSortOrder(dates, false);
    struct Contents {
        TempGroupMember* first;
        TempGroupMember* last;
        int64_t latestDate;
    };
    std::vector<Contents> contents(groups);
    for (size_t i = 0; i < groups; ++i) {
        const SmsTempGroup* group = created[groups - 1 - i];
        contents[i] = {group->first, group->last, group->latestDate};
    }
    for (size_t i = 0; i < groups; ++i) {
        SmsTempGroup* group = created[groups - 1 - i];
        const Contents& moved = contents[order[i]];
        group->first = moved.first;
        group->last = moved.last;
        group->latestDate = moved.latestDate;
    }
}

void buildCallGroups(CallHistoryRecord* head) {
    // Members join at the end, so a group's first entry never changes: one group per number.
    std::unordered_map<std::string_view, CallLogTempGroup*> byNumber;
    for (CallHistoryRecord* record = head; record != nullptr; record = record->next) {
        if (record->number != nullptr) {
            auto found = byNumber.find(record->number);
            if (found != byNumber.end()) {
                auto* link = g_calls.links.take();
                if (link == nullptr) continue;
                link->record = record;
                link->next = nullptr;
                found->second->last->next = link;
                found->second->last = link;
                continue;
            }
        }
        auto* group = g_calls.groups.take();
        auto* link = group != nullptr ? g_calls.links.take() : nullptr;
        if (link == nullptr) continue;
        link->record = record;
        link->next = nullptr;
        group->first = link;
        group->last = link;
        group->next = g_calls.head;
        g_calls.head = group;
        if (record->number != nullptr) byNumber.emplace(record->number, group);
    }
}

} // namespace

SmsTempGroup* rebuildMessageGroups(SmsRecord* head) {
    freeMessageGroups();
    try {
        buildMessageGroups(head);
    } catch (const std::bad_alloc&) {
        freeMessageGroups(); // no index, no grouping
    }
    return g_messages.head;
}

CallLogTempGroup* rebuildCallGroups(CallHistoryRecord* head) {
    freeCallGroups();
    try {
        buildCallGroups(head);
    } catch (const std::bad_alloc&) {
        freeCallGroups();
    }
    return g_calls.head;
}

SmsTempGroup* messageGroups() { return g_messages.head; }
CallLogTempGroup* callGroups() { return g_calls.head; }

#ifdef ZENTRO_TESTING
void resetGroupingForTests() {
    freeMessageGroups();
    freeCallGroups();
    g_allocate = nullptr;
}

void setGroupAllocatorForTests(GroupAllocator allocator) { g_allocate = allocator; }
#endif

} // namespace zentro::records
