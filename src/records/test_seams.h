// Seams for the test programs only: nothing in the product calls these, and only test builds
// (ZENTRO_TESTING) compile them.
#pragma once

#ifndef ZENTRO_TESTING
#error "test seams are compiled into test builds only"
#endif

#include <cstddef>

namespace zentro::records {

// Frees every list, zeroes the bulk totals and offsets and clears the abort flag.
void resetRecordsForTests();

// Frees both groupings (their heads become null) and restores the group allocator.
void resetGroupingForTests();

// Allocator of the blocks that hold groups and member links; what it returns is released with
// free(). Null restores malloc. Lets tests make single allocations fail.
using GroupAllocator = void* (*)(size_t);
void setGroupAllocatorForTests(GroupAllocator allocator);

} // namespace zentro::records
