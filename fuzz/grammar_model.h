// The reply grammar read the plain way, on a std::string copy: the oracle the in-place parse
// and the record lists are compared with.
#pragma once

#include <string>
#include <vector>

namespace zfuzz {

struct Event {
    bool recordEnd;
    std::string key;
    std::string value;
    bool operator==(const Event&) const = default;
};

// The grammar read on a copy: "." ends a record; a field runs to its ";", its value is the
// text behind the last ":" and its key the text between the last two.
inline std::vector<Event> modelEvents(const std::string& text) {
    std::vector<Event> events;
    size_t position = 0;
    while (position < text.size()) {
        if (text[position] == '.') {
            events.push_back({true, {}, {}});
            ++position;
            continue;
        }
        const size_t end = text.find(';', position);
        if (end == std::string::npos) break;
        const std::string field = text.substr(position, end - position);
        const size_t last = field.rfind(':');
        if (last == std::string::npos) {
            events.push_back({false, field, {}});
        } else {
            const size_t previous = last == 0 ? std::string::npos : field.rfind(':', last - 1);
            const size_t keyStart = previous == std::string::npos ? 0 : previous + 1;
            events.push_back({false, field.substr(keyStart, last - keyStart), field.substr(last + 1)});
        }
        position = end + 1;
    }
    return events;
}

} // namespace zfuzz
