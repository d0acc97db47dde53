#include "records/grouping.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "records/date_key.h"
#include "records/date_sort.h"
#include "records/test_seams.h"

namespace zentro::records {

namespace {

SmsTempGroup* g_messageHead = nullptr;
CallLogTempGroup* g_callHead = nullptr;
GroupAllocator g_allocate = nullptr;

template <class T>
T* allocate() {
    return static_cast<T*>(g_allocate != nullptr ? g_allocate(sizeof(T)) : std::malloc(sizeof(T)));
}

void freeChain(TempGroupMember* link) {
    while (link != nullptr) {
        TempGroupMember* next = link->next;
        std::free(link);
        link = next;
    }
}

void freeMessageGroups() {
    for (SmsTempGroup* group = g_messageHead; group != nullptr;) {
        SmsTempGroup* next = group->next;
        freeChain(group->first);
        std::free(group);
        group = next;
    }
    g_messageHead = nullptr;
}

void freeCallGroups() {
    for (CallLogTempGroup* group = g_callHead; group != nullptr;) {
        CallLogTempGroup* next = group->next;
        freeChain(group->first);
        std::free(group);
        group = next;
    }
    g_callHead = nullptr;
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
    explicit GroupsByText(size_t texts) : heaps_(texts) {}
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

// Everything allocated is reachable from g_messageHead before anything further can throw.
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
        const int64_t joined = std::max(byThread.newest(thread, newestThread),
                                        byAddress.newest(address, newestAddress));
        if (joined >= 0) {
            auto* link = allocate<TempGroupMember>();
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
        auto* group = allocate<SmsTempGroup>();
        auto* link = allocate<TempGroupMember>();
        if (group == nullptr || link == nullptr) {
            std::free(group);
            std::free(link);
            continue;
        }
        link->record = record;
        link->next = nullptr;
        group->first = link;
        group->last = link;
        group->latestDate = date;
        group->next = g_messageHead;
        g_messageHead = group;
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
                auto* link = allocate<TempGroupMember>();
                if (link == nullptr) continue;
                link->record = record;
                link->next = nullptr;
                found->second->last->next = link;
                found->second->last = link;
                continue;
            }
        }
        auto* group = allocate<CallLogTempGroup>();
        auto* link = allocate<TempGroupMember>();
        if (group == nullptr || link == nullptr) {
            std::free(group);
            std::free(link);
            continue;
        }
        link->record = record;
        link->next = nullptr;
        group->first = link;
        group->last = link;
        group->next = g_callHead;
        g_callHead = group;
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
    return g_messageHead;
}

CallLogTempGroup* rebuildCallGroups(CallHistoryRecord* head) {
    freeCallGroups();
    try {
        buildCallGroups(head);
    } catch (const std::bad_alloc&) {
        freeCallGroups();
    }
    return g_callHead;
}

SmsTempGroup* messageGroups() { return g_messageHead; }
CallLogTempGroup* callGroups() { return g_callHead; }

void resetGroupingForTests() {
    freeMessageGroups();
    freeCallGroups();
    g_allocate = nullptr;
}

void setGroupAllocatorForTests(GroupAllocator allocator) { g_allocate = allocator; }

} // namespace zentro::records
