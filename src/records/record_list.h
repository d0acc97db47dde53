// The record lists the host walks by itself (messages, call log, calendar, contacts): singly
// linked nodes owned by the library, filled page by page from the companion. One implementation
// serves every kind; a kind is data: its field table, its two commands and where new nodes go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "link/reply_grammar.h"

namespace zentro::records {

// Records one page is taken to hold: the bulk refresh asks for offsets this far apart.
constexpr int32_t kPageRecords = 5;

enum class Insertion {
    AtHead, // a page lands in reverse reply order, ahead of earlier pages
    AtTail, // reply order, page after page
};

template <class Node>
struct ListKind {
    std::span<const link::FieldRule<Node>> fields;
    // The node's leading pointer fields are its texts, each null or owned by the node; the
    // reserved ones among them stay null.
    size_t ownedTexts;
    const char* countCommand;
    const char* pageCommand; // printf format, "%d" the offset of the first record wanted
    Insertion insertion;
    bool logsRejectedPage; // "error: ret = %d\n" for a page reply too short or too long
    const char* noun;      // for the log
};

// What a bulk refresh needs of a list, whatever its nodes.
class PagedList {
public:
    // Frees every node and text; head null, count 0.
    virtual void clear() = 0;
    // The phone's record count when above 0; -1 for 0, no answer or a failed send. The answer
    // bounds the list (below) until the next count.
    virtual int32_t queryCount(int32_t deviceIndex) = 0;
    // One page at `offset` added to the list: 0, or -1 (list unchanged) when the reply has
    // fewer than 2 bytes or no reply buffer can be had. *added (when given) receives the
    // number of records the page closed.
    virtual int fetchPage(int32_t deviceIndex, int32_t offset, int* added) = 0;

protected:
    ~PagedList() = default;
};

template <class Node>
class RecordList final : public PagedList {
public:
    explicit constexpr RecordList(const ListKind<Node>& kind)
        : kind_(kind) {}

    Node* head() const { return head_; }
    int32_t count() const { return count_; }

    void clear() override;
    int32_t queryCount(int32_t deviceIndex) override;
    int fetchPage(int32_t deviceIndex, int32_t offset, int* added = nullptr) override;

    // The single-page exports: the page's outcome is not passed on, both give 0. Replacing
    // frees the list first, so a failed page leaves it empty.
    int32_t replaceWithPage(int32_t deviceIndex, int32_t offset) {
        clear();
        fetchPage(deviceIndex, offset);
        return 0;
    }
    int32_t appendPage(int32_t deviceIndex, int32_t offset) {
        fetchPage(deviceIndex, offset);
        return 0;
    }

    // Parses a zero-terminated reply text (cut in place) into the list; the records added.
    // A record left open at the end of the text is dropped. Once the phone has announced a
    // count, the list holds at most that count plus one page of records: a phone that sends
    // more than it announced cannot make the list grow without end. Records past the bound are
    // dropped with a log line.
    int addPage(char* text);

    // The number of records the list may hold: the last count answered plus one page; -1 while
    // no count was asked for (a page is then bounded by the reply buffer only).
    int64_t limit() const { return announced_ < 0 ? -1 : static_cast<int64_t>(announced_) + kPageRecords; }

    // Stores the head through `out` (byte-wise: the host's location may be unaligned) and
    // returns the count; -1 for a null `out`.
    int32_t handOut(Node** out) const;

private:
    void link(Node* node);
    // Every rule of this kind stores one owned text (or nothing): a page's texts can then stay
    // in the reply, decoded in place, until the record is copied into its block.
    bool textsStayInReply() const;
    int addPageOfOwnedTexts(char* text);
    // Adds a closed record to the list or counts it dropped past the limit.
    void take(const Node& record, int64_t limit, int& added, int& dropped);
    void logDropped(int dropped) const;

    static constexpr size_t kMaxRules = 32;
    enum : signed char { kUnknown = -2, kNoText = -1 };

    const ListKind<Node>& kind_;
    Node* head_ = nullptr;
    Node* tail_ = nullptr; // appending never walks the list
    int32_t count_ = 0;
    int32_t announced_ = -1; // the last count answered (0 for none or a failure); -1 never asked
    // Per rule, the text slot it fills (kNoText: keeps nothing), learned at the first page.
    mutable signed char slots_[kMaxRules] = {};
    mutable signed char slotsLearned_ = kUnknown; // 1 learned, 0 a rule stores something else
};

} // namespace zentro::records
