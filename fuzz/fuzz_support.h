// Helpers shared by the fuzz targets: an invariant check that stops the run with a message, a
// zero-terminated copy of the input, a guarded media record, and the channel pointed at a
// scripted companion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "link/test_seams.h"

// A broken invariant is a finding: libFuzzer writes the input out when the process aborts.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "FUZZ CHECK failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);         \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

namespace zfuzz {

// The input as a heap block of exactly size + 1 bytes ending in a zero byte, so a read past the
// text's end is caught by the address sanitizer.
inline std::vector<char> terminated(const uint8_t* data, size_t size) {
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    return text;
}

// True when the fixed field holds a zero byte (the host may read it as a C string).
template <size_t N>
bool isTerminated(const char (&field)[N]) {
    return std::memchr(field, '\0', N) != nullptr;
}

// A zeroed media record (PhotoInfo, MusicInfo, VideoInfo) at an odd address, as the host's packed
// one need not be aligned, with guard bytes around it; `fill` writes it. Nothing may land outside
// it, and every text field in it stays terminated.
template <class Record, class Fill>
void checkGuardedRecord(Fill fill) {
    std::vector<unsigned char> area(1 + sizeof(Record) + 32, 0xA5);
    std::memset(area.data() + 1, 0, sizeof(Record));
    fill(area.data() + 1);
    FUZZ_CHECK(area[0] == 0xA5);
    for (size_t i = 1 + sizeof(Record); i < area.size(); ++i) FUZZ_CHECK(area[i] == 0xA5);
    Record record;
    std::memcpy(&record, area.data() + 1, sizeof record);
    if constexpr (requires { record.album; })
        FUZZ_CHECK(isTerminated(record.album) && isTerminated(record.artist));
    if constexpr (requires { record.displayName; }) FUZZ_CHECK(isTerminated(record.displayName));
    FUZZ_CHECK(isTerminated(record.title) && isTerminated(record.path));
}

// Splits bytes at zero bytes: the pieces a target hands out as C strings.
inline std::vector<std::string> splitAtZero(const uint8_t* data, size_t size) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            parts.emplace_back();
        } else {
            parts.back().push_back(static_cast<char>(data[i]));
        }
    }
    return parts;
}

// Short waits and time-outs for the channel, and device index 0 pointed at the companion
// (a USB row with no serial: no adb is ever started).
inline void pointChannelAt(uint16_t port) {
    zentro::link::LinkTimings timings;
    timings.idleReadSleepMs = 0;
    timings.forwardSleepMs = 0;
    timings.sleepMs = [](int) {};
    timings.socket.receiveTimeoutMs = 5000;
    timings.socket.sendTimeoutMs = 5000;
    timings.usbLocalPortBase = port;
    zentro::link::setLinkTimingsForTests(timings);
}

} // namespace zfuzz
