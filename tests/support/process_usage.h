// What the test process itself holds, read from /proc (Linux end-to-end tests only): resident
// memory and open descriptors, to show that faults and floods leave nothing behind.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace ztest {

// Resident bytes of this process; -1 when /proc cannot tell.
inline int64_t residentBytes() {
    long pages = 0, resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) return -1;
    const int read = std::fscanf(statm, "%ld %ld", &pages, &resident);
    std::fclose(statm);
    return read == 2 ? static_cast<int64_t>(resident) * sysconf(_SC_PAGESIZE) : -1;
}

// Entries of /proc/self/fd (the listing's own descriptor included).
inline int openDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
    }
    return count;
}

} // namespace ztest
