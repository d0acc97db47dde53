// Seams for the test programs only: nothing in the product calls these, and only test builds
// (ZENTRO_TESTING) compile them.
#pragma once

#ifndef ZENTRO_TESTING
#error "test seams are compiled into test builds only"
#endif

namespace zentro::media {

// Forgets the cached storage root and zeroes every kind's abort flag, progress and size.
void resetMediaForTests();

} // namespace zentro::media
