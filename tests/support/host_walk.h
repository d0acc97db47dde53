// How a 32-bit host reads the library's record lists: word by word (text pointers, flag words,
// then the next pointer), without the structs' names. Used by the records tests and by the
// Windows DLL host, so both walk the lists the same way. Meaningful on 32-bit builds only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace hostwalk {

// A node as the host reads it: its texts ("<null>" for a null pointer) and flag words.
struct HostNode {
    std::vector<std::string> texts;
    std::vector<uint32_t> flags;
};

inline uint32_t wordAt(const void* node, size_t index) {
    uint32_t word = 0;
    std::memcpy(&word, static_cast<const char*>(node) + 4 * index, 4);
    return word;
}

inline const void* pointerOf(uint32_t word) {
    return reinterpret_cast<const void*>(static_cast<uintptr_t>(word));
}

// Nodes of `words` 32-bit fields: `texts` text pointers first, the last field the next pointer,
// flag words between. Stops after `limit` nodes so a looped list cannot hang the walker.
inline std::vector<HostNode> walkAsHost(const void* head, size_t texts, size_t words, size_t limit = 100) {
    std::vector<HostNode> out;
    for (const void* node = head; node != nullptr && out.size() < limit;
         node = pointerOf(wordAt(node, words - 1))) {
        HostNode seen;
        for (size_t i = 0; i < texts; ++i) {
            const char* text = static_cast<const char*>(pointerOf(wordAt(node, i)));
            seen.texts.push_back(text != nullptr ? text : "<null>");
        }
        for (size_t i = texts; i + 1 < words; ++i) seen.flags.push_back(wordAt(node, i));
        out.push_back(seen);
    }
    return out;
}

} // namespace hostwalk
