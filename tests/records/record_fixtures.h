// Heap-built message and call-log lists, and word-for-word quadratic versions of the date sort
// and the groupings (exchange passes over the list, every group visited for every record) that
// the fast code must match exactly. Shared by the tests and the benchmark.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "records/date_key.h"
#include "zentrolink.h"

namespace zrec {

inline char* heapText(const char* text) {
    if (text == nullptr) return nullptr;
    const size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(size));
    std::memcpy(copy, text, size);
    return copy;
}

// A list in the library's node form: nodes are appended, and every node and the texts it leads
// with are freed at the end.
template <class Node, size_t Texts>
class NodeList {
public:
    NodeList() = default;
    NodeList(const NodeList&) = delete;
    NodeList& operator=(const NodeList&) = delete;
    ~NodeList() {
        while (head_ != nullptr) {
            Node* next = head_->next;
            char* texts[Texts];
            std::memcpy(texts, head_, sizeof texts); // the node's leading pointers are its texts
            for (char* text : texts) std::free(text);
            std::free(head_);
            head_ = next;
        }
    }
    Node* head() const { return head_; }

protected:
    Node* append() {
        auto* node = static_cast<Node*>(std::calloc(1, sizeof(Node)));
        (tail_ != nullptr ? tail_->next : head_) = node;
        tail_ = node;
        return node;
    }

private:
    Node* head_ = nullptr;
    Node* tail_ = nullptr;
};

class MessageList : public NodeList<SmsRecord, 9> {
public:
    SmsRecord* add(const char* threadId, const char* address, const char* date) {
        SmsRecord* node = append();
        node->id = heapText(std::to_string(count_++).c_str());
        node->threadId = heapText(threadId);
        node->address = heapText(address);
        node->date = heapText(date);
        return node;
    }

private:
    int count_ = 0;
};

class CallList : public NodeList<CallHistoryRecord, 7> {
public:
    CallHistoryRecord* add(const char* number) {
        CallHistoryRecord* node = append();
        node->number = heapText(number);
        return node;
    }
};

// Dates rich in edges (absent, empty, around 1970, far ahead, trailing or missing parts, not a
// date at all) for lists drawn at random.
inline const char* kDates[] = {nullptr,
                               "",
                               "2012-12-31 23:59:59",
                               "2013-01-02 10:00:00",
                               "1970-01-01 00:00:00",
                               "1969-12-31 23:59:59",
                               "2040-01-01 00:00:00",
                               "2013-01-02 10:00:00x",
                               "garbage",
                               "2013-01-02",
                               "2011-06-15 08:30:00",
                               "2011-06-15 08:30:01"};

// Record contents of the nodes in list order.
inline std::vector<SmsRecord> contentsOf(const SmsRecord* head) {
    std::vector<SmsRecord> contents;
    for (; head != nullptr; head = head->next) {
        contents.push_back(*head);
        contents.back().next = nullptr;
    }
    return contents;
}

inline void restoreContents(SmsRecord* head, const std::vector<SmsRecord>& contents) {
    for (size_t i = 0; head != nullptr; head = head->next, ++i) {
        SmsRecord* next = head->next;
        *head = contents[i];
        head->next = next;
    }
}

// The date key through the C library on every call; texts repeat, so results are kept.
class DirectKeys {
public:
    int64_t operator()(const char* text) {
        auto found = keys_.find(text);
        if (found != keys_.end()) return found->second;
        return keys_[text] = zentro::records::dateKey(text);
    }

private:
    std::unordered_map<std::string, int64_t> keys_;
};

// For each node A from the head and each node B after it: exchange all contents but the links
// when flag 1 and key(A) > key(B), or another flag and key(B) > key(A). Keys are taken once per
// node and travel with the contents; a null DATE counts as 0.
inline void exchangeSortList(SmsRecord* head, int32_t flag, DirectKeys& keyOf) {
    std::vector<int64_t> keys;
    for (SmsRecord* node = head; node != nullptr; node = node->next) {
        keys.push_back(node->date == nullptr ? 0 : keyOf(node->date));
    }
    size_t a = 0;
    for (SmsRecord* nodeA = head; nodeA != nullptr; nodeA = nodeA->next, ++a) {
        size_t b = a + 1;
        for (SmsRecord* nodeB = nodeA->next; nodeB != nullptr; nodeB = nodeB->next, ++b) {
            if (flag == 1 ? keys[a] > keys[b] : keys[b] > keys[a]) {
                SmsRecord saved = *nodeA;
                *nodeA = *nodeB;
                nodeA->next = saved.next;
                saved.next = nodeB->next;
                *nodeB = saved;
                std::swap(keys[a], keys[b]);
            }
        }
    }
}

inline bool sameText(const char* a, const char* b) {
    return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

// A grouping as plain values: per group in list order, its member records, last record and
// latest date.
struct GroupShape {
    std::vector<const void*> members;
    const void* last = nullptr;
    int64_t latestDate = 0;
    bool operator==(const GroupShape&) const = default;
};

template <class Group>
std::vector<GroupShape> shapeOf(const Group* head) {
    std::vector<GroupShape> shape;
    for (; head != nullptr; head = head->next) {
        GroupShape group;
        for (const TempGroupMember* link = head->first; link != nullptr; link = link->next) {
            group.members.push_back(link->record);
        }
        group.last = head->last != nullptr ? head->last->record : nullptr;
        if constexpr (requires { head->latestDate; }) group.latestDate = head->latestDate;
        shape.push_back(std::move(group));
    }
    return shape;
}

template <class Group>
void freeGroups(Group* head) {
    while (head != nullptr) {
        Group* next = head->next;
        for (TempGroupMember* link = head->first; link != nullptr;) {
            TempGroupMember* after = link->next;
            delete link;
            link = after;
        }
        delete head;
        head = next;
    }
}

// Every message compared with the first member of every group from the head; newest group
// first by an exchange pass over the groups.
inline std::vector<GroupShape> groupMessagesDirectly(SmsRecord* list, DirectKeys& keyOf) {
    SmsTempGroup* head = nullptr;
    for (SmsRecord* m = list; m != nullptr; m = m->next) {
        const int64_t date = m->date == nullptr || m->date[0] == '\0' ? 0 : keyOf(m->date);
        SmsTempGroup* group = head;
        for (; group != nullptr; group = group->next) {
            auto* f = static_cast<const SmsRecord*>(group->first->record);
            if (sameText(m->threadId, f->threadId) || sameText(m->address, f->address)) break;
        }
        if (group != nullptr) {
            group->first = new TempGroupMember{m, group->first};
            if (date > group->latestDate) group->latestDate = date;
        } else {
            auto* link = new TempGroupMember{m, nullptr};
            head = new SmsTempGroup{link, link, date, head};
        }
    }
    for (SmsTempGroup* a = head; a != nullptr; a = a->next) {
        for (SmsTempGroup* b = a->next; b != nullptr; b = b->next) {
            if (a->latestDate < b->latestDate) {
                std::swap(a->first, b->first);
                std::swap(a->last, b->last);
                std::swap(a->latestDate, b->latestDate);
            }
        }
    }
    std::vector<GroupShape> shape = shapeOf(head);
    freeGroups(head);
    return shape;
}

inline std::vector<GroupShape> groupCallsDirectly(CallHistoryRecord* list) {
    CallLogTempGroup* head = nullptr;
    for (CallHistoryRecord* r = list; r != nullptr; r = r->next) {
        CallLogTempGroup* group = head;
        for (; group != nullptr; group = group->next) {
            auto* f = static_cast<const CallHistoryRecord*>(group->first->record);
            if (sameText(r->number, f->number)) break;
        }
        auto* link = new TempGroupMember{r, nullptr};
        if (group != nullptr) {
            group->last->next = link;
            group->last = link;
        } else {
            head = new CallLogTempGroup{link, link, head};
        }
    }
    std::vector<GroupShape> shape = shapeOf(head);
    freeGroups(head);
    return shape;
}

} // namespace zrec
