// Ordering by date key the way hosts have always seen it: a pairwise exchange pass (for each
// position, swap with every later item that should come first) whose order among equal keys
// is not stable. The same order is computed here in O(n log n) and applied once.
#pragma once

#include <cstdint>
#include <vector>

#include "zentrolink.h"

namespace zentro::records {

// The order the exchange pass leaves: result[i] is the input index of the item that ends at
// position i. `ascending`: an item moves ahead of an earlier one with a strictly smaller key;
// otherwise with a strictly larger one. May throw std::bad_alloc.
std::vector<uint32_t> exchangeSortOrder(const std::vector<int64_t>& keys, bool ascending);

// Sorts the message list from `head` in place by date key (a null DATE counts as 0): order
// flag 1 puts the oldest first, any other value the newest. Record contents move between the
// nodes, the links stay, so `head` is still the first node. When memory for the work arrays
// cannot be had the list is left as it was.
void sortMessagesByDate(SmsRecord* head, int32_t orderFlag);

} // namespace zentro::records
