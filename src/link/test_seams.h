// Seams for the test programs only: nothing in the product calls these, and only test builds
// (ZENTRO_TESTING) compile them.
#pragma once

#ifndef ZENTRO_TESTING
#error "test seams are compiled into test builds only"
#endif

#include <cstdint>

#include "link/command_channel.h"
#include "platform/socket.h"

namespace zentro::link {

// Tests shorten and move the command channel's waits and ports.
void setLinkTimingsForTests(const LinkTimings& timings);

// Closes both channels and restores the default timings.
void resetLinkForTests();

} // namespace zentro::link
