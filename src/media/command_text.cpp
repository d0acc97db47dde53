#include "media/command_text.h"

#include "link/hex_codec.h"

namespace zentro::media {

bool formatInto(char* out, size_t size, const char* format, ...) {
    if (out == nullptr || size == 0) return false;
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(out, size, format, args);
    va_end(args);
    if (written < 0 || static_cast<size_t>(written) >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool formatNameCommand(char (&out)[1024], const char* word, const char* name) {
    char hex[1024];
    link::encodeHexText(name, hex, 1020);
    return formatInto(out, sizeof out, "%s:%s;", word, hex);
}

} // namespace zentro::media
