// Sleeping and the local calendar time.
#pragma once

#include <ctime>

namespace zentro::platform {

void sleepMs(int milliseconds);

// Local calendar time of `time`, thread-safe.
void localTime(std::time_t time, std::tm& out);

} // namespace zentro::platform
