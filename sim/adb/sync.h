// The "sync:" file service: STAT, LIST, SEND (DATA chunks up to 64 KiB, then DONE with the
// file's mtime, answered OKAY), RECV (answered with DATA chunks and DONE, or FAIL) and QUIT.
// Every STAT/LIST/SEND/RECV goes to the device's request log as "sync:<ID> <argument>".
#pragma once

#include <cstddef>

#include "device.h"

namespace zsim::adb {

inline constexpr size_t kSyncDataMax = 64 * 1024;
inline constexpr size_t kSyncPathMax = 1024;
// Keeps a runaway push from eating the machine's memory.
inline constexpr size_t kSyncFileMax = size_t{1} << 30;

// Serves sync requests on fd (after the service's OKAY) until QUIT, end of stream or a
// protocol error. Does not close fd.
void serveSync(int fd, Device& device);

} // namespace zsim::adb
