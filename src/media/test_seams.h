// Seams for the test programs only: nothing in the product calls these.
#pragma once

namespace zentro::media {

// Forgets the cached storage root and zeroes every kind's abort flag, progress and size.
void resetMediaForTests();

} // namespace zentro::media
