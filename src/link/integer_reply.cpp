#include "link/integer_reply.h"

#include <cstring>

#include "link/command_channel.h"

namespace zentro::link {

int32_t readLittleEndian32(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    const uint32_t value = b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
    int32_t result;
    std::memcpy(&result, &value, sizeof result);
    return result;
}

int32_t sendForInteger(const char* command, int32_t deviceIndex, int32_t preset) {
    char reply[4];
    const auto bits = static_cast<uint32_t>(preset);
    for (int i = 0; i < 4; ++i) reply[i] = static_cast<char>(bits >> (8 * i));
    sendCommand(command, reply, sizeof reply, nullptr, 0, deviceIndex);
    return readLittleEndian32(reply);
}

} // namespace zentro::link
