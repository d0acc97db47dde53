#include "records/date_sort.h"

#include <algorithm>
#include <new>
#include <utility>

#include "records/date_key.h"

namespace zentro::records {

namespace {

// Counts of marked positions, prefix sums in O(log n).
class PositionCounts {
public:
    explicit PositionCounts(size_t size)
        : tree_(size + 1, 0) {}
    void mark(size_t position) {
        for (size_t i = position + 1; i < tree_.size(); i += i & (~i + 1)) ++tree_[i];
    }
    uint32_t markedBefore(size_t position) const {
        uint32_t sum = 0;
        for (size_t i = position; i > 0; i -= i & (~i + 1)) sum += tree_[i];
        return sum;
    }

private:
    std::vector<uint32_t> tree_;
};

// Free places 0..size-1; finds and takes the k-th free one in O(log n).
class FreePlaces {
public:
    void reset(size_t size) {
        tree_.resize(size + 1);
        for (size_t i = 1; i <= size; ++i) tree_[i] = static_cast<uint32_t>(i & (~i + 1));
        top_ = 1;
        while (top_ * 2 <= size) top_ *= 2;
    }
    size_t take(uint32_t k) { // k counts from 0
        size_t at = 0;
        uint32_t left = k + 1;
        for (size_t step = top_; step > 0; step /= 2) {
            if (at + step < tree_.size() && tree_[at + step] < left) {
                at += step;
                left -= tree_[at];
            }
        }
        for (size_t i = at + 1; i < tree_.size(); i += i & (~i + 1)) --tree_[i];
        return at;
    }

private:
    std::vector<uint32_t> tree_;
    size_t top_ = 1;
};

} // namespace

// Pass i of the exchange sort carries the item at i forward: at every later item that should
// come strictly first it drops what it carries there and picks that item up; what it carries
// at the end lands at i. Look at one key value v, call items that come before v "smaller"
// and ignore the rest (larger items only ever trade places among themselves and with the first
// item of value v or smaller, which never changes the order of the others). Then a pass, while
// smaller items are left, does one of two things to the sequence of v-items and smaller items:
// if it starts with a smaller item, that one leaves; if it starts with a v-item, that v-item
// moves into the place of the first smaller item, which leaves. Once no smaller item is left,
// the v-items come out in the order they stand. So the v-items behave as a queue: read the
// input from the start, append each v-item, and at each smaller item after the first v-item
// move the queue's front to its back. The queue at the end is the output order of value v.
// Rotations are counted per v-item, which turns the queue into insertions at known places of a
// ring; the places are resolved afterwards from the last insertion back.
std::vector<uint32_t> exchangeSortOrder(const std::vector<int64_t>& keys, bool ascending) {
    const size_t count = keys.size();
    std::vector<std::pair<int64_t, uint32_t>> ranked(count);
    for (size_t i = 0; i < count; ++i) {
        // ~k reverses the order of signed values without overflow.
        ranked[i] = {ascending ? keys[i] : ~keys[i], static_cast<uint32_t>(i)};
    }
    std::sort(ranked.begin(), ranked.end());

    std::vector<uint32_t> order;
    order.reserve(count);
    PositionCounts smaller(count);
    FreePlaces places;
    std::vector<uint32_t> insertAt;
    std::vector<uint32_t> ring;

    for (size_t begin = 0; begin < count;) {
        size_t end = begin + 1;
        while (end < count && ranked[end].first == ranked[begin].first) ++end;
        const size_t equal = end - begin;
        if (equal == 1) {
            order.push_back(ranked[begin].second);
        } else {
            insertAt.resize(equal);
            size_t size = 0;
            size_t front = 0;
            for (size_t j = 0; j < equal; ++j) {
                const uint32_t position = ranked[begin + j].second;
                // Appending puts the item just before the front, in the ring's own order.
                insertAt[j] = static_cast<uint32_t>(size == 0 ? 0 : front);
                if (size > 0) ++front;
                ++size;
                const size_t until = j + 1 < equal ? ranked[begin + j + 1].second : count;
                const uint32_t rotations = smaller.markedBefore(until) - smaller.markedBefore(position);
                front = (front + rotations) % size;
            }
            ring.resize(equal);
            places.reset(equal);
            for (size_t j = equal; j-- > 0;) ring[places.take(insertAt[j])] = ranked[begin + j].second;
            for (size_t t = 0; t < equal; ++t) order.push_back(ring[(front + t) % equal]);
        }
        for (size_t j = begin; j < end; ++j) smaller.mark(ranked[j].second);
        begin = end;
    }
    return order;
}

void sortMessagesByDate(SmsRecord* head, int32_t orderFlag) {
    if (head == nullptr || head->next == nullptr) return;
    try {
        std::vector<SmsRecord*> nodes;
        for (SmsRecord* node = head; node != nullptr; node = node->next) nodes.push_back(node);
        DateKeyCalculator calculator;
        std::vector<int64_t> keys(nodes.size());
        for (size_t i = 0; i < nodes.size(); ++i) {
            keys[i] = nodes[i]->date == nullptr ? 0 : calculator.key(nodes[i]->date);
        }
        const std::vector<uint32_t> order = exchangeSortOrder(keys, orderFlag == 1);
        std::vector<SmsRecord> contents(nodes.size());
        for (size_t i = 0; i < nodes.size(); ++i) contents[i] = *nodes[i];
        for (size_t i = 0; i < nodes.size(); ++i) {
            SmsRecord* next = nodes[i]->next;
            *nodes[i] = contents[order[i]];
            nodes[i]->next = next;
        }
    } catch (const std::bad_alloc&) {
        // Nothing was written yet: the list keeps its order.
    }
}

} // namespace zentro::records
