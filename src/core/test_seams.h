// Seams for the test programs only: nothing in the product calls these, and only test builds
// (ZENTRO_TESTING) compile them.
#pragma once

#ifndef ZENTRO_TESTING
#error "test seams are compiled into test builds only"
#endif

#include <cstddef>

namespace zentro::core {

// Allocator behind both shared buffers, replaceable so tests can make allocations fail.
using Allocator = void* (*)(size_t);
void setAllocatorForTests(Allocator allocator); // null restores malloc

// Returns every piece of library state to its load-time value (buffers are freed).
void resetStateForTests();

// Forgets the open log file so the next message opens (and recreates) it again.
void resetLogForTests();

} // namespace zentro::core
