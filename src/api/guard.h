// Exports never let an exception out: a throw (only std::bad_alloc is expected) becomes the
// export's failure value.
#pragma once

#include <cstdint>
#include <exception>

namespace zentro::api {

template <typename Body>
int32_t guarded(int32_t failure, Body&& body) noexcept {
    try {
        return static_cast<int32_t>(body());
    } catch (...) {
        return failure;
    }
}

// The same for the few exports whose result is 64 bits wide.
template <typename Body>
int64_t guarded64(int64_t failure, Body&& body) noexcept {
    try {
        return static_cast<int64_t>(body());
    } catch (...) {
        return failure;
    }
}

} // namespace zentro::api
